#include "fake_uvc_device.h"

#include "camera_testing.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <linux/videodev2.h>
#include <sys/mman.h>
#include <thread>

namespace {

constexpr int kFirstFd = 700;
constexpr int kNodeCount = 3;
constexpr unsigned kMetadataNode = 1;
constexpr unsigned kForbiddenNode = 2;
constexpr unsigned kOffsetStep = 0x10000;
const unsigned kFormats[] = {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_H264};
const v4l2_fract kIntervals[] = {{1, 5}, {1, 30}, {1, 15}};

FakeUvcDevice* g_device = nullptr;

bool isFake(int fd)
{
    return fd >= kFirstFd && fd < kFirstFd + kNodeCount;
}

int fail(int error)
{
    errno = error;
    return -1;
}

unsigned roundToStep(unsigned value, unsigned min, unsigned max, unsigned step)
{
    value = std::clamp(value, min, max);
    return min + (value - min) / step * step;
}

} // namespace

FakeUvcDevice::FakeUvcDevice()
{
    static const TavikSysOps ops = {onOpen, onClose, onIoctl, onMmap, onMunmap, onPoll};
    static const char* const nodes[] = {"/fake/video0", "/fake/video1", "/fake/video2"};
    g_device = this;
    TavikCam_SetSysOps(&ops);
    TavikCam_SetDeviceNodes(nodes, kNodeCount);
}

FakeUvcDevice::~FakeUvcDevice()
{
    TavikCam_SetSysOps(nullptr);
    TavikCam_SetDeviceNodes(nullptr, 0);
    g_device = nullptr;
}

void FakeUvcDevice::setFrames(const std::vector<Frame>& frames)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_frames = frames;
    m_nextFrame = 0;
}

int FakeUvcDevice::onOpen(const char* path, int)
{
    for (int node = 0; node < kNodeCount; ++node) {
        if (std::strcmp(path, ("/fake/video" + std::to_string(node)).c_str()) != 0)
            continue;
        if (node == kForbiddenNode)
            return fail(EACCES);
        ++g_device->m_openFds;
        return kFirstFd + node;
    }
    return fail(ENOENT);
}

int FakeUvcDevice::onClose(int fd)
{
    if (!isFake(fd))
        return fail(EBADF);
    --g_device->m_openFds;
    return 0;
}

int FakeUvcDevice::onIoctl(int fd, unsigned long request, void* arg)
{
    if (!isFake(fd))
        return fail(ENOTTY);
    std::lock_guard<std::mutex> lock(g_device->m_mutex);
    return g_device->ioctl(fd, request, arg);
}

void* FakeUvcDevice::onMmap(void*, size_t length, int, int, int fd, off_t offset)
{
    std::lock_guard<std::mutex> lock(g_device->m_mutex);
    const size_t index = static_cast<size_t>(offset) / kOffsetStep;
    if (!isFake(fd) || index >= g_device->m_buffers.size()
        || length > static_cast<size_t>(g_device->m_buffers[index].size())) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    ++g_device->m_mapped;
    return g_device->m_buffers[index].data();
}

int FakeUvcDevice::onMunmap(void*, size_t)
{
    --g_device->m_mapped;
    return 0;
}

bool FakeUvcDevice::frameReady()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_streaming && !m_queued.empty() && !m_frames.empty();
}

int FakeUvcDevice::onPoll(pollfd* fds, nfds_t nfds, int timeout)
{
    // The library's own wake-up eventfd is real: poll it for real, in
    // slices, while the fake device decides about its own descriptor.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
    for (;;) {
        int ready = 0;
        std::vector<pollfd> real;
        for (nfds_t i = 0; i < nfds; ++i) {
            fds[i].revents = 0;
            if (!isFake(fds[i].fd)) {
                real.push_back(fds[i]);
                continue;
            }
            const Unplug how = g_device->m_unplug.load();
            if (how == Unplug::PollError)
                fds[i].revents = POLLERR | POLLHUP;
            else if (how != Unplug::SilentThenGone && g_device->frameReady())
                fds[i].revents = POLLIN;
            ready += fds[i].revents != 0;
        }
        if (ready)
            std::this_thread::sleep_for(std::chrono::milliseconds(4));   // a camera's pace, roughly
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now()).count();
        const int slice = ready || timeout == 0 ? 0 : static_cast<int>(std::clamp<long>(left, 0, 5));
        if (!real.empty() && ::poll(real.data(), real.size(), slice) > 0) {
            for (nfds_t i = 0, r = 0; i < nfds; ++i) {
                if (!isFake(fds[i].fd)) {
                    fds[i].revents = real[r++].revents;
                    ready += fds[i].revents != 0;
                }
            }
        } else if (real.empty() && slice > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(slice));
        }
        if (ready || left <= 0)
            return ready;
    }
}

int FakeUvcDevice::ioctl(int fd, unsigned long request, void* arg)
{
    const Unplug how = m_unplug.load();
    if (how == Unplug::PollError || how == Unplug::SilentThenGone)
        return fail(ENODEV);
    const unsigned node = static_cast<unsigned>(fd - kFirstFd);
    switch (request) {
    case VIDIOC_QUERYCAP: {
        auto* cap = static_cast<v4l2_capability*>(arg);
        *cap = v4l2_capability{};
        std::strcpy(reinterpret_cast<char*>(cap->card), "Fake UVC Camera");
        std::strcpy(reinterpret_cast<char*>(cap->driver), "uvcvideo");
        cap->capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING
            | V4L2_CAP_DEVICE_CAPS;
        cap->device_caps = node == kMetadataNode ? V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING
                                                 : V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
        return 0;
    }
    case VIDIOC_ENUM_FMT: {
        auto* desc = static_cast<v4l2_fmtdesc*>(arg);
        if (node == kMetadataNode || desc->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || desc->index >= 3)
            return fail(EINVAL);
        desc->pixelformat = kFormats[desc->index];
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto* size = static_cast<v4l2_frmsizeenum*>(arg);
        if (size->pixel_format == V4L2_PIX_FMT_MJPEG && size->index == 0) {
            size->type = V4L2_FRMSIZE_TYPE_STEPWISE;
            size->stepwise = {320, 1920, 16, 240, 1080, 8};
            return 0;
        }
        if (size->pixel_format == V4L2_PIX_FMT_YUYV && size->index < 2) {
            size->type = V4L2_FRMSIZE_TYPE_DISCRETE;
            size->discrete = size->index == 0 ? v4l2_frmsize_discrete{160, 120} : v4l2_frmsize_discrete{640, 480};
            return 0;
        }
        if (size->pixel_format == V4L2_PIX_FMT_H264 && size->index == 0) {
            size->type = V4L2_FRMSIZE_TYPE_DISCRETE;
            size->discrete = {1920, 1080};
            return 0;
        }
        return fail(EINVAL);
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
        auto* ival = static_cast<v4l2_frmivalenum*>(arg);
        if (ival->index >= 3)
            return fail(EINVAL);
        ival->type = V4L2_FRMIVAL_TYPE_DISCRETE;
        ival->discrete = kIntervals[ival->index];
        return 0;
    }
    case VIDIOC_S_FMT: {
        // Like the UVC driver: never refuses, picks the nearest mode it has.
        v4l2_pix_format& pix = static_cast<v4l2_format*>(arg)->fmt.pix;
        if (pix.pixelformat == V4L2_PIX_FMT_MJPEG) {
            pix.width = roundToStep(pix.width, 320, 1920, 16);
            pix.height = roundToStep(pix.height, 240, 1080, 8);
            pix.bytesperline = 0;
            pix.sizeimage = 512 * 1024;
        } else {
            pix.pixelformat = V4L2_PIX_FMT_YUYV;
            const bool small = pix.width * pix.height <= 160 * 120;
            pix.width = small ? 160 : 640;
            pix.height = small ? 120 : 480;
            pix.bytesperline = m_bytesPerLine ? m_bytesPerLine : pix.width * 2;
            pix.sizeimage = pix.bytesperline * pix.height;
        }
        m_fourcc = pix.pixelformat;
        m_width = pix.width;
        m_height = pix.height;
        return 0;
    }
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM: {
        v4l2_captureparm& capture = static_cast<v4l2_streamparm*>(arg)->parm.capture;
        if (request == VIDIOC_S_PARM)
            m_setDenominator = capture.timeperframe.denominator;
        else
            capture.timeperframe = kIntervals[0];   // starts slow, as many cameras do
        capture.capability = V4L2_CAP_TIMEPERFRAME;
        return 0;
    }
    case VIDIOC_REQBUFS: {
        auto* req = static_cast<v4l2_requestbuffers*>(arg);
        m_queued.clear();
        m_buffers.clear();
        req->count = std::min(req->count, m_granted);
        const unsigned size = m_fourcc == V4L2_PIX_FMT_MJPEG ? 512 * 1024
                                                            : std::max(m_bytesPerLine, m_width * 2) * m_height;
        m_buffers.assign(req->count, QByteArray(static_cast<int>(size), '\0'));
        return 0;
    }
    case VIDIOC_QUERYBUF: {
        auto* buf = static_cast<v4l2_buffer*>(arg);
        if (buf->index >= m_buffers.size())
            return fail(EINVAL);
        buf->length = static_cast<unsigned>(m_buffers[buf->index].size());
        buf->m.offset = buf->index * kOffsetStep;
        return 0;
    }
    case VIDIOC_QBUF: {
        auto* buf = static_cast<v4l2_buffer*>(arg);
        if (buf->index >= m_buffers.size())
            return fail(EINVAL);
        // The driver owns the memory again: whatever the library did not
        // copy out is gone.
        m_buffers[buf->index].fill('\xEE');
        m_queued.push_back(buf->index);
        return 0;
    }
    case VIDIOC_DQBUF: {
        if (how == Unplug::DqbufEio)
            return fail(EIO);
        if (!m_streaming || m_queued.empty() || m_frames.empty())
            return fail(EAGAIN);
        auto* buf = static_cast<v4l2_buffer*>(arg);
        buf->index = m_queued.front();
        m_queued.erase(m_queued.begin());
        m_minQueued = std::min(m_minQueued.load(), static_cast<int>(m_queued.size()));
        const Frame& frame = m_frames[m_nextFrame++ % m_frames.size()];
        QByteArray& memory = m_buffers[buf->index];
        std::memcpy(memory.data(), frame.bytes.constData(), std::min<size_t>(frame.bytes.size(), memory.size()));
        buf->bytesused = frame.bytesUsed >= 0 ? static_cast<unsigned>(frame.bytesUsed)
                                              : static_cast<unsigned>(frame.bytes.size());
        buf->flags = frame.flags;
        return 0;
    }
    case VIDIOC_STREAMON:
        if (m_noBandwidth)
            return fail(ENOSPC);
        m_streaming = true;
        ++m_streamOns;
        return 0;
    case VIDIOC_STREAMOFF:
        m_streaming = false;
        m_queued.clear();
        ++m_streamOffs;
        return 0;
    default:
        return fail(ENOTTY);
    }
}
