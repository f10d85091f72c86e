#ifndef TAVIK_FRAMEPIPELINE_H
#define TAVIK_FRAMEPIPELINE_H

#include <QImage>
#include <QMutex>
#include <QQueue>
#include <QSize>
#include <QString>

#include <atomic>

class cameraWidget;

// One frame ready for display. Does not own m_data: whoever takes the frame
// out of g_imageQueue frees it (Video_GetPic, uninitQueue).
struct RGBdata {
    QImage m_image;                   // null when there is no frame
    unsigned char* m_data = nullptr;  // malloc'd pixels m_image is built over, or null
    int m_len = 0;
};

// The camera state shared by the panel and the pipeline.
struct currentCameraInfo {
    // Shared with the capture thread: set on one side, cleared on the other.
    std::atomic<bool> isTakePhoto{false}; // a photo is requested (GUI sets, capture clears)
    std::atomic<bool> getImageOk{false};  // a frame waits for the GUI (capture sets, GUI clears)
    // GUI thread only: the user's current choice. The capture thread never
    // reads these; it reads the snapshot g_stream taken when the stream opened.
    int g_width = 0;
    int g_height = 0;
    unsigned int g_frmsize = 0;
    QString g_pixelFormat;
    QSize g_size;                         // preview label size at the last paint
};

// Format and size of the running stream. Written on the GUI thread only while
// no stream runs (openVideo, before StartCapture); constant for the stream's
// life, so the capture thread reads it without a lock.
struct streamParameters {
    QString pixelFormat;
    int width = 0;
    int height = 0;
    unsigned int frmsize() const { return static_cast<unsigned int>(width) * static_cast<unsigned int>(height); }
    bool isYuyv() const { return pixelFormat == QLatin1String("YUYV"); }
};

extern currentCameraInfo g_currentInfo;
extern streamParameters g_stream;
// Guards g_imageQueue. The capture thread holds it (blocking) for the whole
// handling of a frame; the GUI thread only ever tries it without waiting.
extern QMutex mutex;
extern QQueue<RGBdata> g_imageQueue;
// The one camera panel; set by its constructor before the first camera opens.
extern cameraWidget* g_camera;

// Preview frames of this many pixels and more are decoded at a quarter scale.
constexpr unsigned int kQuarterScalePixels = 921600;

// GUI thread, no stream running: fixes the format and size the capture thread uses.
void setStreamParameters(const QString& pixelFormat, int width, int height);

// The pipeline's file-scope functions.

// Capture thread: the frame callback handed to StartCapture. Drops the frame
// while another waits for the GUI.
void viewCallck(unsigned char* buffer, unsigned long len);
// Capture thread: converts or decodes one frame, serves a photo request,
// queues the frame and signals the GUI (Widget::updatImage).
void setRgbData(unsigned char* buffer, unsigned long len);
// GUI thread: the oldest queued frame, or a default record when the queue is
// empty or busy (never waits for the lock).
RGBdata getRgbData();
// GUI thread, capture stopped: frees the queued frames' buffers.
void uninitQueue();


#endif // TAVIK_FRAMEPIPELINE_H
