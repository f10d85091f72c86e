#include "frame_recorder.h"

#include "camera.h"

#include <algorithm>
#include <chrono>

FrameRecorder& FrameRecorder::instance()
{
    static FrameRecorder recorder;
    return recorder;
}

void FrameRecorder::callback(unsigned char* buffer, unsigned long len)
{
    FrameRecorder& r = instance();
    r.m_running = true;
    {
        std::lock_guard<std::mutex> lock(r.m_mutex);
        if (std::find(r.m_threads.begin(), r.m_threads.end(), std::this_thread::get_id()) == r.m_threads.end())
            r.m_threads.push_back(std::this_thread::get_id());
        if (buffer && r.m_kept.size() < 8)
            r.m_kept.push_back(QByteArray(reinterpret_cast<const char*>(buffer), static_cast<int>(len)));
    }
    if (!buffer) {
        if (len == 19)
            ++r.m_losses;
    } else {
        const int n = ++r.m_frames;
        if (n == r.m_stopAt.load())
            r.m_stopResult = StopCapture(r.m_handle.load());
    }
    // Linger a little so that a stop racing with a callback would be seen.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    r.m_running = false;
}

void FrameRecorder::reset(int stopAtFrame, int handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_kept.clear();
    m_threads.clear();
    m_frames = 0;
    m_losses = 0;
    m_stopAt = stopAtFrame;
    m_handle = handle;
    m_stopResult = 1;
}

bool FrameRecorder::ranOnThread(std::thread::id id)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::find(m_threads.begin(), m_threads.end(), id) != m_threads.end();
}

std::vector<QByteArray> FrameRecorder::frames()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_kept;
}
