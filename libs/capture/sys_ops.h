// The system calls of the V4L2 backend, replaceable by tests.
#ifndef TAVIK_CAPTURE_SYS_OPS_H
#define TAVIK_CAPTURE_SYS_OPS_H

#include "camera_testing.h"

#include <string>
#include <vector>

namespace tavik {

// The table in force: the real calls unless a test installed its own.
// Any thread; the table only changes while no stream is open.
const TavikSysOps& sysOps();
void setSysOps(const TavikSysOps* ops);

// ioctl through the table, retried on EINTR.
int xioctl(int fd, unsigned long request, void* arg);

// Node paths to enumerate: a test's list, else /dev/videoN in numeric order.
std::vector<std::string> videoNodePaths();
void setVideoNodePaths(const std::vector<std::string>& paths);
void scanVideoNodes();

} // namespace tavik

#endif
