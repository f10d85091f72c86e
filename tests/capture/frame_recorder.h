// Collects what the capture library hands to its callback.
#ifndef TAVIK_TEST_FRAME_RECORDER_H
#define TAVIK_TEST_FRAME_RECORDER_H

#include <QByteArray>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// One instance, because the callback is a plain function pointer.
class FrameRecorder {
public:
    static FrameRecorder& instance();
    // The viewCallck given to StartCapture(); runs on the library's thread.
    static void callback(unsigned char* buffer, unsigned long len);

    // Forget everything; with stopAtFrame > 0 the callback calls
    // StopCapture(handle) from inside itself on that frame.
    void reset(int stopAtFrame = 0, int handle = -1);

    int frameCount() const { return m_frames.load(); }
    int lossCount() const { return m_losses.load(); }
    bool callbackRunning() const { return m_running.load(); }
    bool ranOnThread(std::thread::id id);
    // The first frames received (at most 8).
    std::vector<QByteArray> frames();
    int stopResult() const { return m_stopResult.load(); }

private:
    std::atomic<int> m_frames{0};
    std::atomic<int> m_losses{0};
    std::atomic<bool> m_running{false};
    std::atomic<int> m_stopAt{0};
    std::atomic<int> m_handle{-1};
    std::atomic<int> m_stopResult{1};
    std::mutex m_mutex;   // guards m_kept and m_threads
    std::vector<QByteArray> m_kept;
    std::vector<std::thread::id> m_threads;
};

#endif
