// An opened camera and the capture thread that feeds the callback.
#ifndef TAVIK_CAPTURE_CAPTURE_SESSION_H
#define TAVIK_CAPTURE_CAPTURE_SESSION_H

#include "camera.h"
#include "camera_stream.h"
#include "frame_sink.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace tavik {

// Owns the stream and its capture thread. Every member runs on the GUI
// thread, except stop(), which may also be called from inside the callback.
class CaptureSession : private FrameSink {
public:
    explicit CaptureSession(std::unique_ptr<CameraStream> stream);
    ~CaptureSession() override;
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    bool setParam(const std::string& format, int width, int height);
    bool start(FrameCallback callback);
    // Once it returns on the GUI thread no callback runs or follows. On the
    // capture thread it only flags the stop; the join happens later.
    void stop();
    // Stops and joins; false when called from inside the callback, where
    // only the stop is flagged and the session must be kept.
    bool close();

private:
    bool stopRequested() const override;
    int wakeFd() const override;
    void deliver(unsigned char* data, unsigned long len) override;
    void reportLossUntilStopped() override;

    // Joins a thread that was stopped from its own callback, and ends the
    // device's streaming. GUI thread.
    void settle();
    bool onCaptureThread() const;

    std::unique_ptr<CameraStream> m_stream;
    std::thread m_thread;
    // Written on the GUI thread before the thread starts, read on it after.
    FrameCallback m_callback = nullptr;
    bool m_streaming = false;
    // Checked before every callback; set by stop() from either thread.
    std::atomic<bool> m_stop{false};
    // Id of the running capture thread, to recognise a stop from inside the
    // callback; written before the thread starts and after it is joined.
    std::atomic<std::thread::id> m_threadId{};
    int m_wakeFd = -1;
};

} // namespace tavik

#endif
