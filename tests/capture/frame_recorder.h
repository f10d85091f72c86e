// Collects what the capture library hands to its callback. One instance,
// because the callback is a plain function pointer.
#ifndef TAVIK_TEST_FRAME_RECORDER_H
#define TAVIK_TEST_FRAME_RECORDER_H

#include "camera.h"

#include <QByteArray>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

class FrameRecorder {
public:
    static FrameRecorder& instance() { static FrameRecorder r; return r; }

    // The viewCallck given to StartCapture(); runs on the library's thread.
    static void callback(unsigned char* buffer, unsigned long len)
    {
        FrameRecorder& r = instance();
        r.running = true;
        {
            std::lock_guard<std::mutex> lock(r.m_mutex);
            if (!r.ranOn(std::this_thread::get_id()))
                r.m_threads.push_back(std::this_thread::get_id());
            if (buffer && r.m_kept.size() < 8)
                r.m_kept.push_back(QByteArray(reinterpret_cast<const char*>(buffer), int(len)));
        }
        if (!buffer)
            r.losses += len == 19;
        else if (++r.frames == r.m_stopAt)
            r.stopResult = StopCapture(r.m_handle);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        r.running = false;
    }

    // Forget everything; with stopAtFrame > 0 the callback calls
    // StopCapture(handle) from inside itself on that frame.
    void reset(int stopAtFrame = 0, int handle = -1)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_kept.clear();
        m_threads.clear();
        frames = losses = 0;
        m_stopAt = stopAtFrame;
        m_handle = handle;
        stopResult = 1;
    }
    bool ranOnThread(std::thread::id id) { std::lock_guard<std::mutex> lock(m_mutex); return ranOn(id); }
    std::vector<QByteArray> kept() { std::lock_guard<std::mutex> lock(m_mutex); return m_kept; }

    std::atomic<int> frames{0};
    std::atomic<int> losses{0};
    std::atomic<bool> running{false};
    std::atomic<int> stopResult{1};

private:
    bool ranOn(std::thread::id id) const { return std::find(m_threads.begin(), m_threads.end(), id) != m_threads.end(); }

    std::atomic<int> m_stopAt{0};
    std::atomic<int> m_handle{-1};
    std::mutex m_mutex;   // guards m_kept and m_threads
    std::vector<QByteArray> m_kept;
    std::vector<std::thread::id> m_threads;
};

#endif
