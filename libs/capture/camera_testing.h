/*
 * Test hooks of the capture library (libcamera.so). Not for the application:
 * tests use them to unplug the virtual camera, damage its frames, check the
 * MJPEG repair and put a fake V4L2 device behind the library.
 *
 * Threads: call these from the test's main thread. The system-call table and
 * the node list may only change while no stream is open.
 */
#ifndef TAVIK_CAMERA_TESTING_H
#define TAVIK_CAMERA_TESTING_H

#include <poll.h>
#include <stddef.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TAVIK_CAM_EXPORT __attribute__((visibility("default")))

/* Path under which the virtual document camera is listed and opened. */
#define TAVIK_VIRTUAL_CAMERA_PATH "virtual:document-camera"

/* The virtual camera vanishes: an open stream reports the loss (null, 19)
 * about every 200 ms until StopCapture(); Video_Open() and the next
 * initVideoData() no longer find it. */
TAVIK_CAM_EXPORT void TavikCam_VirtualUnplug(void);

/* It comes back: the next initVideoData() lists it again. */
TAVIK_CAM_EXPORT void TavikCam_VirtualReplug(void);

/*
 * Damages that share (0..100 each, their sum capped at 100) of the virtual
 * camera's JPEG frames: of every 100 frames of a stream exactly that many,
 * scattered over them (the first frame of a stream is hit when the share is
 * not 0). Both kinds pass the library's own delivery checks, so
 * the application sees what a failing camera really sends:
 *   damaged:   SOI, headers and EOI intact, a stretch of the entropy-coded
 *              data overwritten with garbage (no marker bytes);
 *   truncated: the frame cut at about half of its entropy-coded data, EOI
 *              appended after the cut.
 * YUYV frames are never damaged. 0, 0 switches it off (the default).
 */
TAVIK_CAM_EXPORT void TavikCam_VirtualSetDamage(int damagedPercent, int truncatedPercent);

/*
 * The repair applied to every MJPEG frame before delivery. Returns a
 * malloc'd standalone JPEG (starts with SOI, ends with the last EOI, the
 * standard Huffman tables inserted before SOS when the frame has none), or
 * null when the frame must be dropped: no SOI, no EOI after the scan header,
 * no SOS, a segment length running past the end. Caller frees with free().
 */
TAVIK_CAM_EXPORT unsigned char* TavikCam_RepairJpeg(const unsigned char* data, unsigned long len,
                                                    unsigned long* outLen);

/* System calls the V4L2 backend makes; errors are reported through errno
 * exactly as the real calls do. */
struct TavikSysOps {
    int (*open)(const char* path, int flags);
    int (*close)(int fd);
    int (*ioctl)(int fd, unsigned long request, void* arg);
    void* (*mmap)(void* addr, size_t length, int prot, int flags, int fd, off_t offset);
    int (*munmap)(void* addr, size_t length);
    int (*poll)(struct pollfd* fds, nfds_t nfds, int timeout);
};

/* Routes the V4L2 backend's system calls through ops (kept by pointer: it
 * must outlive its use); null restores the real calls. The poll set also
 * holds a real eventfd of the library's own (the stop wake-up). */
TAVIK_CAM_EXPORT void TavikCam_SetSysOps(const struct TavikSysOps* ops);

/* Enumerates exactly these node paths, in this order, instead of scanning
 * /dev/video* (count 0: no node at all, so only the virtual camera shows);
 * null restores the scan. The strings are copied. */
TAVIK_CAM_EXPORT void TavikCam_SetDeviceNodes(const char* const* paths, int count);

#ifdef __cplusplus
}
#endif

#endif /* TAVIK_CAMERA_TESTING_H */
