#include "framepipeline.h"

#include "autocapture.h"
#include "camerawidget.h"
#include "compress.h"
#include "customInterface/parameter.h"
#include "customInterface/widget.h"
#include "imagemode.h"
#include "imageprocloader.h"


#include <cstdlib>
#include <malloc.h>
#include <vector>

#if defined(__SANITIZE_THREAD__)
#define TAVIK_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TAVIK_TSAN 1
#endif
#endif
#ifdef TAVIK_TSAN
#include <sanitizer/tsan_interface.h>
#endif

currentCameraInfo g_currentInfo;
streamParameters g_stream;
QMutex mutex;
QQueue<RGBdata> g_imageQueue;
cameraWidget* g_camera = nullptr;

namespace {

// A null buffer of this length is the library's report of a lost camera.
constexpr unsigned long kCameraLostLength = 19;

// Large frames are decoded at 1/kQuarterScale of their width and height.
constexpr int kQuarterScale = 4;
// No camera makes frames beyond this; a header claiming more is refused.
constexpr unsigned long long kMaxFramePixels = 64ULL * 1024 * 1024;

// QMutex hands over through Qt's own code when the other thread holds it, and
// ThreadSanitizer does not see inside Qt: these tell it what the lock orders,
// so that a ThreadSanitizer build reports only true races. No-ops otherwise.
inline void announceLocked()
{
#ifdef TAVIK_TSAN
    __tsan_acquire(&mutex);
#endif
}

inline void announceUnlocking()
{
#ifdef TAVIK_TSAN
    __tsan_release(&mutex);
#endif
}

// Holds mutex for a scope, like QMutexLocker, announcing it as above.
class QueueLock
{
public:
    QueueLock()
    {
        mutex.lock();
        announceLocked();
    }
    ~QueueLock()
    {
        announceUnlocking();
        mutex.unlock();
    }
    QueueLock(const QueueLock&) = delete;
    QueueLock& operator=(const QueueLock&) = delete;
};

// Capture thread: takes a pending photo request for the frame in hand. It is
// taken before the save, not cleared after it: a click while this photo is
// written asks for the next frame. Clicks before one frame make one photo.
bool takePhotoRequest()
{
    return g_currentInfo.isTakePhoto.exchange(false);
}

// Capture thread, mutex held: hands-free capture asks for the next frame's
// photo the way a click does.
void watchScene(SceneWatcher::Thumb thumb, SceneWatcher::Page page, bool photoServed)
{
    if (AutoCapture::decide(std::move(thumb), page, photoServed, AutoCapture::clock()))
        g_currentInfo.isTakePhoto = true;
}

SceneWatcher::Page pageVerdict(int found)
{
    return found > 0 ? SceneWatcher::Page::Present : SceneWatcher::Page::Absent;
}

// Capture thread, mutex held: saves the photo from data and relays its path
// to the GUI. The request was already taken with the frame.
void servePhotoRequest(unsigned char* data, int len)
{
    if (!g_camera)
        return;
    const QString name = g_camera->onSavePic(data, len);
    Widget::instance()->setSavePic(name);
}

// Capture thread, mutex held. Fills frame from a packed YUYV buffer; false
// drops the frame (short buffer, no memory).
bool convertYuyvFrame(unsigned char* buffer, unsigned long len, RGBdata& frame)
{
    const int w = g_stream.width;
    const int h = g_stream.height;
    const size_t pixels = static_cast<size_t>(w) * static_cast<size_t>(h);
    if (pixels == 0 || len < pixels * 2)
        return false;
    const size_t n = pixels * 3;
    frame.m_data = static_cast<unsigned char*>(calloc(n, 1));
    if (!frame.m_data)
        return false;
    convert_yuv_to_rgb_buffer(buffer, frame.m_data, static_cast<unsigned int>(w), static_cast<unsigned int>(h));
    frame.m_image = QImage(frame.m_data, w, h, w * 3, QImage::Format_RGB888);
    const bool photo = takePhotoRequest();
    if (photo)
        servePhotoRequest(frame.m_data, static_cast<int>(n));
    watchScene(AutoCapture::sample(frame.m_data, w, h, w * 3), SceneWatcher::Page::Unknown, photo);
    ImageMode::preview(frame.m_data, w, h, w * 3, ImageMode::current(), false);
    return true;
}

// Capture thread, mutex held. Serves a photo request from the camera's own
// JPEG (straightened first when deskew is on), before anything is decoded.
void serveJpegPhotoRequest(unsigned char* buffer, unsigned long len)
{
    if (flag && cac_func_fcrop) {
        unsigned char* page = nullptr;
        int pageLen = 0;
        cac_func_fcrop(buffer, static_cast<int>(len), &page, &pageLen);
        servePhotoRequest(page, pageLen);
        free(page);
    } else {
        servePhotoRequest(buffer, static_cast<int>(len));
    }
}

// Capture thread, mutex held. Small JPEG frames: Qt decodes the whole frame
// (with the outline drawn in by the library when deskew is on). A frame Qt
// cannot decode is queued null, as the GUI copes with it.
// found: the library's page verdict (-1 with deskew off).
void decodeSmallJpeg(unsigned char* buffer, unsigned long len, RGBdata& frame, int* found)
{
    *found = -1;
    const ImageMode::Mode mode = ImageMode::current();
    if (mode != ImageMode::Original && cac_func_enhance) {
        // The outline goes into the decoded pixels, so that the mode can
        // show around it.
        QImage rgb = QImage::fromData(buffer, static_cast<int>(len)).convertToFormat(QImage::Format_RGB888);
        if (!rgb.isNull())
            *found = ImageMode::preview(rgb.bits(), rgb.width(), rgb.height(), int(rgb.bytesPerLine()), mode,
                                        flag && cac_func_drawLine);
        frame.m_image = rgb;
    } else if (flag && cac_func_fLine) {
        unsigned char* outlined = nullptr;
        int outlinedLen = 0;
        *found = cac_func_fLine(buffer, static_cast<int>(len), 3, 2, &outlined, &outlinedLen);
        if (outlined)
            frame.m_image.loadFromData(outlined, outlinedLen);
        free(outlined);
    } else {
        frame.m_image.loadFromData(buffer, static_cast<int>(len));
    }
}

// Capture thread, mutex held. Large JPEG frames: libjpeg decodes at a quarter
// of the width and height, which is plenty for the preview; false drops the frame.
// The scene watcher samples the picture before the outline goes in.
bool decodeLargeJpeg(unsigned char* buffer, unsigned long len, RGBdata& frame, bool photoServed)
{
    if (buffer[0] != 0xFF || buffer[1] != 0xD8)
        return false;
    // Sized by the frame's own header, not the stream's size: cameras send
    // 1920x1088 frames on a 1920x1080 stream. The header may claim anything,
    // so the picture is capped like every other one the program reads.
    int w = 0;
    int h = 0;
    if (jpeg_scaled_size(buffer, static_cast<unsigned int>(len), kQuarterScale, &w, &h) == -1 || w <= 0 || h <= 0)
        return false;
    const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h) * 3;
    if (static_cast<unsigned long long>(w) * h * kQuarterScale * kQuarterScale > kMaxFramePixels)
        return false;
    frame.m_data = static_cast<unsigned char*>(malloc(n));
    if (!frame.m_data)
        return false;
    if (jpeg_decompress(buffer, static_cast<unsigned int>(len), kQuarterScale, frame.m_data, &w, &h, static_cast<int>(n)) == -1) {
        free(frame.m_data);
        frame.m_data = nullptr;
        return false;
    }
    SceneWatcher::Thumb scene = AutoCapture::sample(frame.m_data, w, h, w * 3);
    SceneWatcher::Page page = SceneWatcher::Page::Unknown;
    const bool outline = flag && cac_func_drawLine;
    const ImageMode::Mode mode = ImageMode::current();
    if (outline || mode != ImageMode::Original) {
        const int found = ImageMode::preview(frame.m_data, w, h, w * 3, mode, outline);
        if (outline)
            page = pageVerdict(found);
    }
    watchScene(std::move(scene), page, photoServed);
    frame.m_image = QImage(frame.m_data, w, h, w * 3, QImage::Format_RGB888);
    return true;
}

// Capture thread, mutex held. Small frames: the preview picture may carry
// the outline, so the watcher gets a reduced decode of its own (cheap at
// these sizes).
SceneWatcher::Thumb sampleSmallJpeg(unsigned char* buffer, unsigned long len)
{
    if (!AutoCapture::isEnabled())
        return AutoCapture::sample(nullptr, 0, 0, 0);
    int w = 0;
    int h = 0;
    if (jpeg_scaled_size(buffer, static_cast<unsigned int>(len), kQuarterScale, &w, &h) == -1 || w <= 0 || h <= 0 ||
        static_cast<unsigned long long>(w) * h > kQuarterScalePixels)
        return SceneWatcher::Thumb();
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
    if (jpeg_decompress(buffer, static_cast<unsigned int>(len), kQuarterScale, rgb.data(), &w, &h,
                        static_cast<int>(rgb.size())) == -1)
        return SceneWatcher::Thumb();
    return AutoCapture::sample(rgb.data(), w, h, w * 3);
}

} // namespace

void setStreamParameters(const QString& pixelFormat, int width, int height)
{
    g_stream.pixelFormat = pixelFormat;
    g_stream.width = width;
    g_stream.height = height;
}


void viewCallck(unsigned char* buffer, unsigned long len)
{
    if (!g_currentInfo.getImageOk)
        setRgbData(buffer, len);
}

void setRgbData(unsigned char* buffer, unsigned long len)
{
    if (!buffer && len == kCameraLostLength && g_camera)
        g_camera->setSignalVideoError(true);
    if (!buffer || len <= 2)
        return;

    {
        QueueLock locker;
        RGBdata frame;
        if (g_stream.isYuyv()) {
            if (!convertYuyvFrame(buffer, len, frame))
                return;
        } else {
            const bool photo = takePhotoRequest();
            if (photo)
                serveJpegPhotoRequest(buffer, len);
            if (g_stream.frmsize() < kQuarterScalePixels) {
                SceneWatcher::Thumb scene = sampleSmallJpeg(buffer, len);
                int found = -1;
                decodeSmallJpeg(buffer, len, frame, &found);
                watchScene(std::move(scene), found < 0 ? SceneWatcher::Page::Unknown : pageVerdict(found), photo);
            } else if (!decodeLargeJpeg(buffer, len, frame, photo)) {
                return;
            }
        }
        g_imageQueue.append(frame);
    }
    g_currentInfo.getImageOk = true;
    Widget::instance()->setUpdatImage();
}

RGBdata getRgbData()
{
    if (!mutex.tryLock(0))
        return RGBdata();
    announceLocked();
    RGBdata frame;
    if (!g_imageQueue.isEmpty())
        frame = g_imageQueue.takeFirst();
    announceUnlocking();
    mutex.unlock();
    return frame;
}

void uninitQueue()
{
    // Frames without a buffer go too: a stale frame must not show after a reopen.
    for (const RGBdata& frame : qAsConst(g_imageQueue))
        free(frame.m_data);
    g_imageQueue.clear();
    malloc_trim(0);
}

