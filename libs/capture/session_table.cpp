#include "session_table.h"

namespace tavik {

SessionTable::~SessionTable()
{
    std::map<int, std::shared_ptr<CaptureSession>> open;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        open.swap(m_sessions);
    }
    for (auto& entry : open)
        entry.second->close();
}

int SessionTable::add(std::shared_ptr<CaptureSession> session)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int handle = m_nextHandle++;
    m_sessions[handle] = std::move(session);
    return handle;
}

std::shared_ptr<CaptureSession> SessionTable::find(int handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_sessions.find(handle);
    return it == m_sessions.end() ? nullptr : it->second;
}

void SessionTable::remove(int handle)
{
    std::shared_ptr<CaptureSession> last;   // destroyed after the lock is released
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_sessions.find(handle);
    if (it != m_sessions.end()) {
        last = std::move(it->second);
        m_sessions.erase(it);
    }
}

} // namespace tavik
