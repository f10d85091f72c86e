#ifndef TAVIK_IMAGEPROC_H
#define TAVIK_IMAGEPROC_H

/*
 * libImageProc.so: finds a document page in a camera picture, marks its
 * outline on preview frames and returns it straightened and cropped for photos.
 *
 * Threads: calls are expected one at a time from the capture thread. The
 * preview functions keep a small outline history for steady drawing; it is
 * guarded by a mutex, so a call from another thread cannot corrupt it.
 * OpenCV inside the library runs on one thread.
 *
 * Pixels are packed RGB888 (R, G, B per pixel, top row first); `stride` is the
 * byte distance between rows and must be at least 3 * width. Every output
 * buffer is a malloc block that the caller frees with free(). On failure the
 * output pointer is left null and the output length 0.
 *
 * Results: 1 = a page was found (and handled), 0 = valid input without a page,
 * -1 = bad input (null pointers, sizes below 16 or above 16384 pixels a side
 * or 64 megapixels, data that is not a complete JPEG).
 *
 * Drawing constants: `colour` picks the outline colour (1 green, 2 red,
 * 3 blue, 4 yellow, anything else green) and `thickness` its width in pixels
 * of a 640-pixel-wide picture (scaled up with larger pictures, clamped to
 * 1..32).
 */

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define IMAGEPROC_EXPORT __attribute__((visibility("default")))
#else
#define IMAGEPROC_EXPORT
#endif

/* Preview: draws the page outline into the frame in place. No page: the
 * pixels stay as they were. */
IMAGEPROC_EXPORT int RAW_DrawLine(unsigned char* rgb, int width, int stride, int height,
                                  int colour, int thickness);

/* Straightens and crops the page of an RGB picture into a new packed RGB
 * block (*outStride = 3 * *outWidth). No page: 0 and no output. */
IMAGEPROC_EXPORT int RAW_Crop(unsigned char* rgb, int width, int stride, int height,
                              unsigned char** out, int* outWidth, int* outStride, int* outHeight);

/* Preview of a camera JPEG: returns a JPEG with the outline drawn. No page:
 * 0 and *out is a copy of the input. */
IMAGEPROC_EXPORT int JPGFILE_DrawLine(unsigned char* jpeg, int length, int colour, int thickness,
                                      unsigned char** out, int* outLength);

/* Photo: the page found at full resolution, perspective-corrected to its own
 * aspect ratio and cropped, as a quality-92 JPEG. No page: 0 and *out is a
 * byte copy of the input, so the photo is never lost. */
IMAGEPROC_EXPORT int JPGFILE_Rotate(unsigned char* jpeg, int length,
                                    unsigned char** out, int* outLength);

/* The photo path's detection alone, without state: 1 and the corners as
 * x, y pairs in pixels, clockwise from the top-left, else 0 (also for bad
 * input; the corners are then untouched). */
IMAGEPROC_EXPORT int ImageProc_FindDocument(const unsigned char* rgb, int width, int stride,
                                            int height, float corners[8]);

/* Photo or preview: makes a picture of a page look scanned, in place. Modes:
 * original (nothing changes); document (the light evened out, paper an even
 * white, print dark, colour kept in stamps and pictures); grey (the same in
 * grey levels, written as R = G = B); black and white (a local threshold
 * after the same evening out; every channel exactly 0 or 255). Sizes in the
 * work are shares of the picture, so a quarter-scale preview looks like the
 * photo. Any thread, any number at once: no state is kept.
 * 1 when done; -1 for bad input or an unknown mode, with the pixels untouched. */
enum {
    IMAGEPROC_ENHANCE_ORIGINAL = 0,
    IMAGEPROC_ENHANCE_DOCUMENT = 1,
    IMAGEPROC_ENHANCE_GREY = 2,
    IMAGEPROC_ENHANCE_BLACK_WHITE = 3
};
IMAGEPROC_EXPORT int ImageProc_Enhance(unsigned char* rgb, int width, int stride, int height, int mode);

#ifdef __cplusplus
}
#endif

#endif /* TAVIK_IMAGEPROC_H */
