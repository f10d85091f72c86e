#include "sys_ops.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace tavik {

namespace {

int realOpen(const char* path, int flags) { return ::open(path, flags); }
int realClose(int fd) { return ::close(fd); }
int realIoctl(int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); }
void* realMmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset)
{
    return ::mmap(addr, length, prot, flags, fd, offset);
}
int realMunmap(void* addr, size_t length) { return ::munmap(addr, length); }
int realPoll(pollfd* fds, nfds_t nfds, int timeout) { return ::poll(fds, nfds, timeout); }

const TavikSysOps kRealOps = {realOpen, realClose, realIoctl, realMmap, realMunmap, realPoll};

std::atomic<const TavikSysOps*> g_ops{&kRealOps};

// Guards g_nodePaths and g_nodesOverridden (set by tests, read by enumeration).
std::mutex g_nodeMutex;
std::vector<std::string> g_nodePaths;
bool g_nodesOverridden = false;

// "/dev/video12" -> 12, anything else -> -1.
int videoNumber(const char* name)
{
    if (std::strncmp(name, "video", 5) != 0 || name[5] == '\0')
        return -1;
    char* end = nullptr;
    long n = std::strtol(name + 5, &end, 10);
    return (*end == '\0' && n >= 0 && n < 100000) ? static_cast<int>(n) : -1;
}

} // namespace

const TavikSysOps& sysOps()
{
    return *g_ops.load();
}

void setSysOps(const TavikSysOps* ops)
{
    g_ops = ops ? ops : &kRealOps;
}

int xioctl(int fd, unsigned long request, void* arg)
{
    int r;
    do {
        r = sysOps().ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r;
}

std::vector<std::string> videoNodePaths()
{
    {
        std::lock_guard<std::mutex> lock(g_nodeMutex);
        if (g_nodesOverridden)
            return g_nodePaths;
    }
    std::vector<int> numbers;
    if (DIR* dir = opendir("/dev")) {
        while (dirent* entry = readdir(dir)) {
            int n = videoNumber(entry->d_name);
            if (n >= 0)
                numbers.push_back(n);
        }
        closedir(dir);
    }
    std::sort(numbers.begin(), numbers.end());
    std::vector<std::string> paths;
    for (int n : numbers)
        paths.push_back("/dev/video" + std::to_string(n));
    return paths;
}

void setVideoNodePaths(const std::vector<std::string>& paths)
{
    std::lock_guard<std::mutex> lock(g_nodeMutex);
    g_nodePaths = paths;
    g_nodesOverridden = true;
}

void scanVideoNodes()
{
    std::lock_guard<std::mutex> lock(g_nodeMutex);
    g_nodePaths.clear();
    g_nodesOverridden = false;
}

} // namespace tavik
