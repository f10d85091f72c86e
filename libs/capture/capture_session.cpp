#include "capture_session.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tavik {

namespace {

// How often a lost camera is reported again.
constexpr int kLossRepeatMs = 200;
// The length that, with a null buffer, tells the application the camera is gone.
constexpr unsigned long kLossLength = 19;

} // namespace

CaptureSession::CaptureSession(std::unique_ptr<CameraStream> stream)
    : m_stream(std::move(stream))
{
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd < 0)
        std::fprintf(stderr, "capture: eventfd failed: %s\n", std::strerror(errno));
}

CaptureSession::~CaptureSession()
{
    stop();
    if (m_thread.joinable())
        m_thread.detach();   // destroyed on its own thread (exit from a callback)
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

bool CaptureSession::setParam(const std::string& format, int width, int height)
{
    if (onCaptureThread())
        return false;
    settle();
    if (m_streaming)
        return false;   // still running: the caller skipped StopCapture()
    return m_stream->setParam(format, width, height);
}

bool CaptureSession::start(FrameCallback callback)
{
    if (!callback || m_wakeFd < 0 || onCaptureThread())
        return false;
    settle();
    if (m_streaming)
        return false;
    if (!m_stream->streamOn())
        return false;
    m_streaming = true;
    m_callback = callback;
    uint64_t drained = 0;
    while (read(m_wakeFd, &drained, sizeof drained) > 0) {
    }
    m_stop = false;
    m_thread = std::thread([this] {
        m_threadId = std::this_thread::get_id();
        pthread_setname_np(pthread_self(), "tavik-capture");
        m_stream->run(*this);
    });
    return true;
}

void CaptureSession::stop()
{
    m_stop = true;
    uint64_t one = 1;
    if (m_wakeFd >= 0 && write(m_wakeFd, &one, sizeof one) < 0 && errno != EAGAIN)
        std::fprintf(stderr, "capture: cannot wake the capture thread: %s\n", std::strerror(errno));
    if (onCaptureThread())
        return;
    settle();
}

bool CaptureSession::close()
{
    stop();
    // From inside the callback the thread cannot join itself: the session
    // must stay alive until the GUI thread closes it.
    return !onCaptureThread();
}

void CaptureSession::settle()
{
    if (m_thread.joinable()) {
        m_thread.join();
        m_threadId = std::thread::id();
    }
    if (m_streaming) {
        m_stream->streamOff();
        m_streaming = false;
    }
}

bool CaptureSession::onCaptureThread() const
{
    return std::this_thread::get_id() == m_threadId.load();
}

bool CaptureSession::stopRequested() const
{
    return m_stop.load();
}

int CaptureSession::wakeFd() const
{
    return m_wakeFd;
}

void CaptureSession::deliver(unsigned char* data, unsigned long len)
{
    if (!m_stop.load())
        m_callback(data, len);
}

void CaptureSession::reportLossUntilStopped()
{
    while (!m_stop.load()) {
        m_callback(nullptr, kLossLength);
        pollfd wake{m_wakeFd, POLLIN, 0};
        if (poll(&wake, 1, kLossRepeatMs) > 0)
            break;
    }
}

} // namespace tavik
