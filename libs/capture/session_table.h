// The open capture sessions by handle.
#ifndef TAVIK_CAPTURE_SESSION_TABLE_H
#define TAVIK_CAPTURE_SESSION_TABLE_H

#include "capture_session.h"

#include <map>
#include <memory>
#include <mutex>

namespace tavik {

// Any thread: StopCapture() may come from inside a callback while the GUI
// thread opens or closes another handle. A looked-up session stays alive
// while the caller holds it, even if it is closed meanwhile; the table's lock
// is never held across a stop, a join or a callback.
class SessionTable {
public:
    SessionTable() = default;
    // At process exit: stops what is still streaming, so that no callback
    // runs while the program's statics are being destroyed.
    ~SessionTable();
    SessionTable(const SessionTable&) = delete;
    SessionTable& operator=(const SessionTable&) = delete;

    int add(std::shared_ptr<CaptureSession> session);   // the new handle
    std::shared_ptr<CaptureSession> find(int handle);    // null when unknown
    void remove(int handle);

private:
    std::mutex m_mutex;   // guards m_sessions and m_nextHandle
    std::map<int, std::shared_ptr<CaptureSession>> m_sessions;
    int m_nextHandle = 1;
};

} // namespace tavik

#endif
