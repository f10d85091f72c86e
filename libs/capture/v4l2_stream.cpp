#include "v4l2_stream.h"

#include "jpeg_repair.h"
#include "sys_ops.h"
#include "v4l2_probe.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/mman.h>

namespace tavik {

namespace {

constexpr unsigned kWantedBuffers = 4;
// The first frame of a UVC camera can take a while (auto exposure).
constexpr int kFirstFrameTimeoutMs = 2000;
// A driver may report any interval; the poll timeout is derived from it and
// must stay a sane int.
constexpr unsigned long long kMaxFrameIntervalMs = 10000;

bool errnoMeansLost(int error)
{
    return error == ENODEV || error == EIO;
}

// a < b for frame intervals num/den.
bool shorter(const v4l2_fract& a, const v4l2_fract& b)
{
    return static_cast<unsigned long long>(a.numerator) * b.denominator
        < static_cast<unsigned long long>(b.numerator) * a.denominator;
}

} // namespace

// ---- opening and closing

std::unique_ptr<V4l2Stream> V4l2Stream::open(const std::string& path)
{
    const int fd = sysOps().open(path.c_str(), O_RDWR | O_NONBLOCK);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM)
            std::fprintf(stderr, "capture: no permission to open %s\n", path.c_str());
        else
            std::fprintf(stderr, "capture: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
        return nullptr;
    }
    v4l2_capability cap{};
    if (xioctl(fd, VIDIOC_QUERYCAP, &cap) < 0 || !canStreamVideo(cap)) {
        std::fprintf(stderr, "capture: %s is not a streaming video capture node\n", path.c_str());
        sysOps().close(fd);
        return nullptr;
    }
    return std::unique_ptr<V4l2Stream>(new V4l2Stream(path, fd));
}

V4l2Stream::V4l2Stream(const std::string& path, int fd)
    : m_path(path), m_fd(fd)
{
}

V4l2Stream::~V4l2Stream()
{
    releaseBuffers();
    sysOps().close(m_fd);
}

// ---- format, size and frame rate

unsigned V4l2Stream::fourccFor(const std::string& format) const
{
    for (unsigned index = 0; index < kMaxEnumEntries; ++index) {
        v4l2_fmtdesc desc{};
        desc.index = index;
        desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (xioctl(m_fd, VIDIOC_ENUM_FMT, &desc) < 0)
            return 0;
        if (formatNameOf(desc.pixelformat) == format)
            return desc.pixelformat;
    }
    return 0;
}

bool V4l2Stream::setParam(const std::string& format, int width, int height)
{
    const unsigned fourcc = fourccFor(format);
    if (fourcc == 0 || width <= 0 || height <= 0) {
        std::fprintf(stderr, "capture: %s offers no %s %dx%d\n", m_path.c_str(), format.c_str(), width, height);
        return false;
    }
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    fmt.fmt.pix.width = static_cast<unsigned>(width);
    fmt.fmt.pix.height = static_cast<unsigned>(height);
    fmt.fmt.pix.pixelformat = fourcc;
    fmt.fmt.pix.field = V4L2_FIELD_ANY;
    if (xioctl(m_fd, VIDIOC_S_FMT, &fmt) < 0) {
        std::fprintf(stderr, "capture: %s refuses %s %dx%d: %s\n", m_path.c_str(), format.c_str(), width,
                     height, std::strerror(errno));
        return false;
    }
    // The driver adjusts silently; the application sizes its buffers from
    // what it asked for, so anything else is a failure.
    if (fmt.fmt.pix.width != static_cast<unsigned>(width) || fmt.fmt.pix.height != static_cast<unsigned>(height)
        || fmt.fmt.pix.pixelformat != fourcc) {
        std::fprintf(stderr, "capture: %s gives %ux%u instead of %s %dx%d\n", m_path.c_str(),
                     fmt.fmt.pix.width, fmt.fmt.pix.height, format.c_str(), width, height);
        return false;
    }
    m_fourcc = fourcc;
    m_jpeg = format != "YUYV";
    m_width = width;
    m_height = height;
    m_bytesPerLine = std::max(fmt.fmt.pix.bytesperline, static_cast<unsigned>(width) * 2);
    chooseFastestInterval();
    return true;
}

void V4l2Stream::chooseFastestInterval()
{
    // Many UVC cameras start at a slower rate than they can do.
    v4l2_fract best{0, 0};
    for (unsigned index = 0; index < kMaxEnumEntries; ++index) {
        v4l2_frmivalenum ival{};
        ival.index = index;
        ival.pixel_format = m_fourcc;
        ival.width = static_cast<unsigned>(m_width);
        ival.height = static_cast<unsigned>(m_height);
        if (xioctl(m_fd, VIDIOC_ENUM_FRAMEINTERVALS, &ival) < 0)
            break;
        const v4l2_fract candidate = ival.type == V4L2_FRMIVAL_TYPE_DISCRETE ? ival.discrete : ival.stepwise.min;
        if (candidate.denominator != 0 && (best.denominator == 0 || shorter(candidate, best)))
            best = candidate;
        if (ival.type != V4L2_FRMIVAL_TYPE_DISCRETE)
            break;
    }
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(m_fd, VIDIOC_G_PARM, &parm) < 0)
        return;
    if (best.denominator != 0 && (parm.parm.capture.capability & V4L2_CAP_TIMEPERFRAME)) {
        parm.parm.capture.timeperframe = best;
        if (xioctl(m_fd, VIDIOC_S_PARM, &parm) < 0)
            std::fprintf(stderr, "capture: %s keeps its frame rate: %s\n", m_path.c_str(), std::strerror(errno));
    }
    const v4l2_fract& used = parm.parm.capture.timeperframe;
    if (used.denominator != 0 && used.numerator != 0)
        m_intervalMs = static_cast<int>(std::clamp(1000ULL * used.numerator / used.denominator, 1ULL, kMaxFrameIntervalMs));
}

// ---- buffers

bool V4l2Stream::streamOn()
{
    if (m_width == 0) {
        std::fprintf(stderr, "capture: %s: start without a format\n", m_path.c_str());
        return false;
    }
    if (!mapBuffers())
        return false;
    for (unsigned i = 0; i < m_buffers.size(); ++i) {
        v4l2_buffer buf{};
        buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buf.memory = V4L2_MEMORY_MMAP;
        buf.index = i;
        if (xioctl(m_fd, VIDIOC_QBUF, &buf) < 0) {
            std::fprintf(stderr, "capture: %s: cannot queue buffer: %s\n", m_path.c_str(), std::strerror(errno));
            releaseBuffers();
            return false;
        }
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(m_fd, VIDIOC_STREAMON, &type) < 0) {
        if (errno == ENOSPC)
            std::fprintf(stderr, "capture: %s: not enough USB bandwidth for %dx%d, try a smaller size or "
                                 "another USB port\n", m_path.c_str(), m_width, m_height);
        else
            std::fprintf(stderr, "capture: %s: cannot start streaming: %s\n", m_path.c_str(),
                         std::strerror(errno));
        releaseBuffers();
        return false;
    }
    return true;
}

void V4l2Stream::streamOff()
{
    // Errors (ENODEV from a vanished camera) change nothing here.
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    xioctl(m_fd, VIDIOC_STREAMOFF, &type);
    releaseBuffers();
}

bool V4l2Stream::mapBuffers()
{
    v4l2_requestbuffers req{};
    req.count = kWantedBuffers;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (xioctl(m_fd, VIDIOC_REQBUFS, &req) < 0) {
        std::fprintf(stderr, "capture: %s: no capture buffers: %s\n", m_path.c_str(), std::strerror(errno));
        return false;
    }
    // One buffer must stay queued while another is being copied.
    if (req.count < 2) {
        std::fprintf(stderr, "capture: %s grants %u buffer(s), needs 2\n", m_path.c_str(), req.count);
        releaseBuffers();
        return false;
    }
    for (unsigned i = 0; i < req.count; ++i) {
        v4l2_buffer buf{};
        buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buf.memory = V4L2_MEMORY_MMAP;
        buf.index = i;
        void* start = MAP_FAILED;
        if (xioctl(m_fd, VIDIOC_QUERYBUF, &buf) == 0)
            start = sysOps().mmap(nullptr, buf.length, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, buf.m.offset);
        if (start == MAP_FAILED) {
            std::fprintf(stderr, "capture: %s: cannot map buffer %u: %s\n", m_path.c_str(), i,
                         std::strerror(errno));
            releaseBuffers();
            return false;
        }
        m_buffers.push_back({start, buf.length});
    }
    return true;
}

void V4l2Stream::releaseBuffers()
{
    for (const MappedBuffer& b : m_buffers)
        sysOps().munmap(b.start, b.length);
    m_buffers.clear();
    v4l2_requestbuffers req{};
    req.count = 0;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    xioctl(m_fd, VIDIOC_REQBUFS, &req);
}

// ---- capture thread

void V4l2Stream::run(FrameSink& sink)
{
    bool firstFrame = true;
    bool lost = false;
    while (!lost && !sink.stopRequested()) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {sink.wakeFd(), POLLIN, 0}};
        const int timeout = std::max(firstFrame ? kFirstFrameTimeoutMs : 500, 4 * m_intervalMs);
        const int ready = sysOps().poll(fds, 2, timeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "capture: %s: poll failed: %s\n", m_path.c_str(), std::strerror(errno));
            lost = true;
        } else if (fds[1].revents != 0) {
            return;
        } else if (ready == 0) {
            lost = deviceGone();   // a silent camera may be merely slow
        } else if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            lost = true;   // a buffer is always queued, so this is the device going
        } else if (fds[0].revents & POLLIN) {
            const Outcome outcome = takeFrame();
            lost = outcome == Outcome::Lost;
            if (outcome == Outcome::Frame) {
                firstFrame = false;
                sink.deliver(m_frame.data(), m_frame.size());
            }
        }
    }
    if (lost) {
        std::fprintf(stderr, "capture: %s was lost\n", m_path.c_str());
        sink.reportLossUntilStopped();
    }
}

bool V4l2Stream::deviceGone() const
{
    v4l2_capability cap{};
    return xioctl(m_fd, VIDIOC_QUERYCAP, &cap) < 0 && errno == ENODEV;
}

V4l2Stream::Outcome V4l2Stream::takeFrame()
{
    v4l2_buffer buf{};
    buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buf.memory = V4L2_MEMORY_MMAP;
    if (xioctl(m_fd, VIDIOC_DQBUF, &buf) < 0) {
        if (errnoMeansLost(errno))
            return Outcome::Lost;
        if (errno != EAGAIN)
            std::fprintf(stderr, "capture: %s: cannot take a buffer: %s\n", m_path.c_str(), std::strerror(errno));
        return Outcome::Skipped;
    }
    bool usable = false;
    if (buf.index < m_buffers.size() && !(buf.flags & V4L2_BUF_FLAG_ERROR) && buf.bytesused > 0) {
        const MappedBuffer& b = m_buffers[buf.index];
        usable = copyFrame(static_cast<const unsigned char*>(b.start), std::min<size_t>(buf.bytesused, b.length));
    }
    // The frame is copied: the buffer goes straight back to the driver.
    if (xioctl(m_fd, VIDIOC_QBUF, &buf) < 0) {
        if (errnoMeansLost(errno))
            return Outcome::Lost;
        std::fprintf(stderr, "capture: %s: cannot requeue a buffer: %s\n", m_path.c_str(), std::strerror(errno));
    }
    return usable ? Outcome::Frame : Outcome::Skipped;
}

bool V4l2Stream::copyFrame(const unsigned char* data, size_t used)
{
    if (m_jpeg)
        return repairJpeg(data, used, m_frame);
    // Exactly width * height * 2 bytes, without the driver's row padding.
    const size_t row = static_cast<size_t>(m_width) * 2;
    const size_t needed = static_cast<size_t>(m_bytesPerLine) * (m_height - 1) + row;
    if (used < needed)
        return false;
    m_frame.resize(row * m_height);
    if (m_bytesPerLine == row) {
        std::memcpy(m_frame.data(), data, m_frame.size());
    } else {
        for (int y = 0; y < m_height; ++y)
            std::memcpy(m_frame.data() + row * y, data + static_cast<size_t>(m_bytesPerLine) * y, row);
    }
    return true;
}

} // namespace tavik
