/*
 * Capture library interface (libcamera.so).
 *
 * Cameras are enumerated into linked lists owned by the library: built by
 * initVideoData(), released by deinitVideoData(). Callers keep no record
 * pointer beyond the call that looked it up.
 *
 * Threads: every function is called from the application's GUI thread. The
 * frame callback runs on a thread of the library's own, never the caller's.
 */
#ifndef TAVIK_CAMERA_H
#define TAVIK_CAMERA_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct FrmSizeData {
    unsigned int width;
    unsigned int height;
    int FrmsizeNum;
    struct FrmSizeData* next;
} FrmSizeData;

typedef struct PixelFormat {
    char pixelformatTip[10]; /* "YUYV", "JPEG", ...; first member on purpose */
    unsigned int pixelformat; /* V4L2 fourcc */
    int formatNum;
    FrmSizeData* sizeList;
    struct PixelFormat* next;
} PixelFormat;

typedef struct VideoDeviceData {
    char devPath[30]; /* "/dev/videoN"; first member on purpose */
    char cardName[60];
    int videoNum;
    PixelFormat* formatList;
    struct VideoDeviceData* next;
} VideoDeviceData;

/*
 * Frame callback. Called once per frame on the library's capture thread; the
 * buffer is valid only during the call. "YUYV": width*height*2 bytes of packed
 * YUYV. Any other format: one whole standalone JPEG image of len bytes.
 * A null buffer with len 19 reports that the open camera was lost; the report
 * repeats about every 200 ms until StopCapture().
 */
typedef void (*FrameCallback)(unsigned char* buffer, unsigned long len);

/* Enumerates cameras. Returns the number found, or negative when none. */
int initVideoData(void);
/* Releases the lists built by initVideoData(). */
int deinitVideoData(void);

int getVideoDeviceNum(void);
int getPixelFormatNum(VideoDeviceData* camera);
int getFrmSizeNum(PixelFormat* format);

/* Entry at 0 .. count-1, or null. */
VideoDeviceData* getVideoDeviceByIndex(int index);
PixelFormat* getPixelFormatByIndex(VideoDeviceData* camera, int index);
FrmSizeData* getFrmSizeNumByIndex(PixelFormat* format, int index);

/* Lookup by text; null when unknown. */
VideoDeviceData* getVideoDeviceNodeByName(const char* devPath, int byteLength);
PixelFormat* getPixelFormatByFormatTip(VideoDeviceData* camera, const char* name);

/* Opens a camera by node path. Returns a handle, negative on failure. */
int Video_Open(const char* devPath);
/* Sets format and size; -1 unless the driver delivers exactly these. */
int Video_SetParam(int handle, const char* formatName, int width, int height);
/* Starts delivery to callback on the library's thread; returns at once. */
int StartCapture(int handle, FrameCallback callback);
/* Once it returns, no callback runs or follows. From inside the callback it
 * only flags the stop; the thread is joined at the next start or close. */
int StopCapture(int handle);
int Video_Close(int handle);

#ifdef __cplusplus
}
#endif

#endif /* TAVIK_CAMERA_H */
