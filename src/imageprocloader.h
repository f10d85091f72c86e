#ifndef TAVIK_IMAGEPROCLOADER_H
#define TAVIK_IMAGEPROCLOADER_H

#include <atomic>

// The image-processing library libImageProc.so, loaded at run time.
//
// Threads: loadImageProc and unloadImageProc run on the GUI thread while no
// capture runs; the pointers are then constant for the stream's life and are
// called only from the capture thread, under the frame-queue mutex.

typedef int (*CAC_FUNC_LINE)(unsigned char* rgb, int, int, int, int, int);
typedef int (*CAC_FUNC_CROP)(unsigned char*, int, int, int, unsigned char**, int*, int*, int*);
typedef int (*CAC_FUNC_FLINE)(unsigned char* jpeg, int length, int, int, unsigned char** out, int* outLength);
typedef int (*CAC_FUNC_FCROP)(unsigned char* jpeg, int length, unsigned char** out, int* outLength);
typedef int (*CAC_FUNC_ENHANCE)(unsigned char* rgb, int width, int stride, int height, int mode);

extern void* handle;                        // dlopen handle, null when not loaded
extern char* error;                         // last dlerror() text of the loader
extern CAC_FUNC_LINE cac_func_drawLine;     // "RAW_DrawLine"
extern CAC_FUNC_CROP cac_func_crop;         // "RAW_Crop" (never called)
extern CAC_FUNC_FLINE cac_func_fLine;       // "JPGFILE_DrawLine"
extern CAC_FUNC_FCROP cac_func_fcrop;       // "JPGFILE_Rotate"
// "ImageProc_Enhance", the image modes; optional: null where the library
// lacks it, and the program runs without them.
extern CAC_FUNC_ENHANCE cac_func_enhance;

// Deskew switch: non-zero when on. Written by the GUI thread (the "纠偏" box),
// read by the capture thread for every frame.
extern std::atomic<int> flag;

// Opens "/opt/tavikApp/lib/libImageProc.so" if present, else
// "./lib/libImageProc.so", and binds the four functions, then the optional
// one. On failure prints the loader's message to standard error and returns
// false.
bool loadImageProc();

// Unloads the library (capture must be stopped); the pointers become null.
void unloadImageProc();

#endif // TAVIK_IMAGEPROCLOADER_H
