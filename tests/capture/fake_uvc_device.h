// A fake USB camera answering V4L2 calls the way the UVC driver does,
// installed behind the capture library's system-call seam (one at a time).
// Nodes: "/fake/video0" the camera, "/fake/video1" its metadata node,
// "/fake/video2" a camera the user may not open. Formats: YUYV at discrete
// 160x120 and 640x480, MJPEG stepwise 320x240 .. 1920x1080 (steps 16 x 8),
// H264 (not deliverable). Frame intervals 1/5, 1/30, 1/15.
#ifndef TAVIK_TEST_FAKE_UVC_DEVICE_H
#define TAVIK_TEST_FAKE_UVC_DEVICE_H

#include "camera_testing.h"

#include <QByteArray>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <linux/videodev2.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/mman.h>
#include <thread>
#include <vector>

class FakeUvcDevice {
public:
    struct Frame {
        QByteArray bytes;
        unsigned flags = 0;   // e.g. V4L2_BUF_FLAG_ERROR
        int bytesUsed = -1;   // -1: the size of bytes
    };
    enum class Unplug { None, PollError, SilentThenGone, DqbufEio };

    FakeUvcDevice()
    {
        static const TavikSysOps ops = {onOpen, onClose, onIoctl, onMmap, onMunmap, onPoll};
        static const char* const nodes[] = {"/fake/video0", "/fake/video1", "/fake/video2"};
        device() = this;
        TavikCam_SetSysOps(&ops);
        TavikCam_SetDeviceNodes(nodes, 3);
    }
    ~FakeUvcDevice()
    {
        TavikCam_SetSysOps(nullptr);
        TavikCam_SetDeviceNodes(nullptr, 0);
        device() = nullptr;
    }

    // Set by the test thread before streaming; frames are delivered in a cycle.
    std::vector<Frame> frames;
    unsigned bytesPerLine = 0;   // 0: packed rows
    bool noBandwidth = false;    // STREAMON fails with ENOSPC
    std::atomic<Unplug> unplug{Unplug::None};
    // What the library did; read after it stopped.
    unsigned setDenominator = 0;
    int streamOffs = 0;
    std::atomic<int> mapped{0};
    std::atomic<int> minQueued{1000};
    std::atomic<int> openFds{0};

private:
    static constexpr int kFirstFd = 700;
    static constexpr unsigned kOffsetStep = 0x10000;

    static FakeUvcDevice*& device() { static FakeUvcDevice* d = nullptr; return d; }
    static bool isFake(int fd) { return fd >= kFirstFd && fd < kFirstFd + 3; }
    static int fail(int error) { errno = error; return -1; }
    static v4l2_fract interval(unsigned i) { return v4l2_fract{1, i == 0 ? 5u : i == 1 ? 30u : 15u}; }

    static int onOpen(const char* path, int)
    {
        for (int node = 0; node < 3; ++node) {
            if (std::strcmp(path, ("/fake/video" + std::to_string(node)).c_str()) != 0)
                continue;
            if (node == 2)
                return fail(EACCES);
            ++device()->openFds;
            return kFirstFd + node;
        }
        return fail(ENOENT);
    }
    static int onClose(int fd) { return isFake(fd) ? (--device()->openFds, 0) : fail(EBADF); }
    static int onIoctl(int fd, unsigned long request, void* arg)
    {
        if (!isFake(fd))
            return fail(ENOTTY);
        std::lock_guard<std::mutex> lock(device()->m_mutex);
        return device()->ioctl(fd - kFirstFd, request, arg);
    }
    static void* onMmap(void*, size_t length, int, int, int fd, off_t offset)
    {
        FakeUvcDevice* d = device();
        std::lock_guard<std::mutex> lock(d->m_mutex);
        const size_t index = size_t(offset) / kOffsetStep;
        if (!isFake(fd) || index >= d->m_buffers.size() || length > size_t(d->m_buffers[index].size())) {
            errno = EINVAL;
            return MAP_FAILED;
        }
        ++d->mapped;
        return d->m_buffers[index].data();
    }
    static int onMunmap(void*, size_t) { return --device()->mapped, 0; }

    bool frameReady()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_streaming && !m_queued.empty() && !frames.empty();
    }

    static int onPoll(pollfd* fds, nfds_t nfds, int timeout)
    {
        int ready = 0;
        std::vector<pollfd*> real;
        std::vector<pollfd> polled;
        for (nfds_t i = 0; i < nfds; ++i) {
            fds[i].revents = 0;
            if (!isFake(fds[i].fd)) {
                real.push_back(&fds[i]);
                polled.push_back(fds[i]);
                continue;
            }
            const Unplug how = device()->unplug.load();
            if (how == Unplug::PollError)
                fds[i].revents = POLLERR | POLLHUP;
            else if (how != Unplug::SilentThenGone && device()->frameReady())
                fds[i].revents = POLLIN;
            ready += fds[i].revents != 0;
        }
        if (ready)
            std::this_thread::sleep_for(std::chrono::milliseconds(4));   // a camera's pace, roughly
        if (::poll(polled.data(), polled.size(), ready ? 0 : timeout) > 0)
            for (size_t r = 0; r < real.size(); ++r)
                ready += (real[r]->revents = polled[r].revents) != 0;
        return ready;
    }

    int ioctl(int node, unsigned long request, void* arg)
    {
        const Unplug how = unplug.load();
        if (how == Unplug::PollError || how == Unplug::SilentThenGone)
            return fail(ENODEV);
        switch (request) {
        case VIDIOC_QUERYCAP: {
            auto* cap = static_cast<v4l2_capability*>(arg);
            *cap = v4l2_capability{};
            std::strcpy(reinterpret_cast<char*>(cap->card), "Fake UVC Camera");
            cap->capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_DEVICE_CAPS;
            cap->device_caps = (node == 1 ? V4L2_CAP_META_CAPTURE : V4L2_CAP_VIDEO_CAPTURE) | V4L2_CAP_STREAMING;
            return 0;
        }
        case VIDIOC_ENUM_FMT: {
            static const unsigned formats[] = {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_H264};
            auto* desc = static_cast<v4l2_fmtdesc*>(arg);
            if (node == 1 || desc->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || desc->index >= 3)
                return fail(EINVAL);
            desc->pixelformat = formats[desc->index];
            return 0;
        }
        case VIDIOC_ENUM_FRAMESIZES: {
            auto* size = static_cast<v4l2_frmsizeenum*>(arg);
            size->type = V4L2_FRMSIZE_TYPE_DISCRETE;
            if (size->pixel_format == V4L2_PIX_FMT_MJPEG && size->index == 0) {
                size->type = V4L2_FRMSIZE_TYPE_STEPWISE;
                size->stepwise = {320, 1920, 16, 240, 1080, 8};
            } else if (size->pixel_format == V4L2_PIX_FMT_YUYV && size->index < 2) {
                size->discrete = size->index == 0 ? v4l2_frmsize_discrete{160, 120} : v4l2_frmsize_discrete{640, 480};
            } else if (size->pixel_format == V4L2_PIX_FMT_H264 && size->index == 0) {
                size->discrete = {1920, 1080};
            } else {
                return fail(EINVAL);
            }
            return 0;
        }
        case VIDIOC_ENUM_FRAMEINTERVALS: {
            auto* ival = static_cast<v4l2_frmivalenum*>(arg);
            if (ival->index >= 3)
                return fail(EINVAL);
            ival->type = V4L2_FRMIVAL_TYPE_DISCRETE;
            ival->discrete = interval(ival->index);
            return 0;
        }
        case VIDIOC_S_FMT: {
            v4l2_pix_format& pix = static_cast<v4l2_format*>(arg)->fmt.pix;
            if (pix.pixelformat == V4L2_PIX_FMT_MJPEG) {
                pix.width = 320 + (std::clamp(pix.width, 320u, 1920u) - 320) / 16 * 16;
                pix.height = 240 + (std::clamp(pix.height, 240u, 1080u) - 240) / 8 * 8;
                pix.bytesperline = 0;
                pix.sizeimage = 512 * 1024;
            } else {
                const bool small = pix.width * pix.height <= 160 * 120;
                pix.pixelformat = V4L2_PIX_FMT_YUYV;
                pix.width = small ? 160 : 640;
                pix.height = small ? 120 : 480;
                pix.bytesperline = bytesPerLine ? bytesPerLine : pix.width * 2;
                pix.sizeimage = pix.bytesperline * pix.height;
            }
            m_bufferSize = pix.sizeimage;
            return 0;
        }
        case VIDIOC_G_PARM:
        case VIDIOC_S_PARM: {
            v4l2_captureparm& capture = static_cast<v4l2_streamparm*>(arg)->parm.capture;
            if (request == VIDIOC_S_PARM)
                setDenominator = capture.timeperframe.denominator;
            else
                capture.timeperframe = interval(0);   // starts slow, as many cameras do
            capture.capability = V4L2_CAP_TIMEPERFRAME;
            return 0;
        }
        case VIDIOC_REQBUFS: {
            auto* req = static_cast<v4l2_requestbuffers*>(arg);
            m_queued.clear();
            req->count = std::min(req->count, 3u);
            m_buffers.assign(req->count, QByteArray(int(m_bufferSize), '\0'));
            return 0;
        }
        case VIDIOC_QUERYBUF:
        case VIDIOC_QBUF: {
            auto* buf = static_cast<v4l2_buffer*>(arg);
            if (buf->index >= m_buffers.size())
                return fail(EINVAL);
            buf->length = unsigned(m_buffers[buf->index].size());
            buf->m.offset = buf->index * kOffsetStep;
            if (request == VIDIOC_QBUF) {
                m_buffers[buf->index].fill('\xEE');
                m_queued.push_back(buf->index);
            }
            return 0;
        }
        case VIDIOC_DQBUF: {
            if (how == Unplug::DqbufEio)
                return fail(EIO);
            if (!m_streaming || m_queued.empty() || frames.empty())
                return fail(EAGAIN);
            auto* buf = static_cast<v4l2_buffer*>(arg);
            buf->index = m_queued.front();
            m_queued.erase(m_queued.begin());
            minQueued = std::min(minQueued.load(), int(m_queued.size()));
            const Frame& frame = frames[m_nextFrame++ % frames.size()];
            QByteArray& memory = m_buffers[buf->index];
            std::memcpy(memory.data(), frame.bytes.constData(), std::min(frame.bytes.size(), memory.size()));
            buf->bytesused = unsigned(frame.bytesUsed >= 0 ? frame.bytesUsed : frame.bytes.size());
            buf->flags = frame.flags;
            return 0;
        }
        case VIDIOC_STREAMON:
            if (noBandwidth)
                return fail(ENOSPC);
            m_streaming = true;
            return 0;
        case VIDIOC_STREAMOFF:
            m_streaming = false;
            m_queued.clear();
            ++streamOffs;
            return 0;
        default:
            return fail(ENOTTY);
        }
    }

    // Guards the buffers and stream state below, and the public fields
    // once streaming: the capture thread and the test thread both call in.
    std::mutex m_mutex;
    size_t m_nextFrame = 0;
    std::vector<QByteArray> m_buffers;
    std::vector<unsigned> m_queued;
    bool m_streaming = false;
    unsigned m_bufferSize = 0;
};

#endif
