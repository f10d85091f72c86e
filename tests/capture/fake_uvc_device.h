// A fake USB camera answering V4L2 calls the way the UVC driver does,
// installed behind the capture library's system-call seam (one at a time).
// "/fake/video0" is the camera: YUYV at 160x120 and 640x480, MJPEG stepwise
// 320x240 .. 1920x1080 in steps of 16 x 8; "/fake/video1" its metadata node.
// Like some broken drivers, it never ends its format and interval lists.
// Its system calls arrive on the test's thread and the library's capture thread.
#ifndef TAVIK_TEST_FAKE_UVC_DEVICE_H
#define TAVIK_TEST_FAKE_UVC_DEVICE_H

#include "camera_testing.h"

#include <QByteArray>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <linux/videodev2.h>
#include <mutex>
#include <thread>
#include <vector>

class FakeUvcDevice {
public:
    // flags e.g. V4L2_BUF_FLAG_ERROR; bytesUsed -1: the size of bytes.
    struct Frame { QByteArray bytes; unsigned flags = 0; int bytesUsed = -1; };
    enum class Unplug { None, PollError, SilentThenGone, DqbufEio };

    FakeUvcDevice()
    {
        static const TavikSysOps ops = {onOpen, onClose, onIoctl, onMmap, onMunmap, onPoll};
        static const char* const nodes[] = {"/fake/video0", "/fake/video1"};
        device() = this;
        TavikCam_SetSysOps(&ops);
        TavikCam_SetDeviceNodes(nodes, 2);
    }
    ~FakeUvcDevice() { TavikCam_SetSysOps(nullptr); TavikCam_SetDeviceNodes(nullptr, 0); device() = nullptr; }

    // Set by the test thread before streaming; frames are delivered in a cycle.
    std::vector<Frame> frames;
    unsigned bytesPerLine = 0;   // 0: packed rows
    bool noBandwidth = false;    // STREAMON fails with ENOSPC
    std::atomic<Unplug> unplug{Unplug::None};
    // What the library did; read after it stopped.
    unsigned setDenominator = 0;
    std::atomic<int> mapped{0};
    std::atomic<int> openFds{0};

private:
    static constexpr int kFirstFd = 700;

    static FakeUvcDevice*& device() { static FakeUvcDevice* d = nullptr; return d; }
    static int fail(int error) { errno = error; return -1; }

    static int onOpen(const char* path, int)
    {
        const int node = std::strcmp(path, "/fake/video0") == 0 ? 0 : std::strcmp(path, "/fake/video1") == 0 ? 1 : -1;
        return node < 0 ? fail(ENOENT) : (++device()->openFds, kFirstFd + node);
    }
    static int onClose(int) { return --device()->openFds, 0; }
    static int onIoctl(int fd, unsigned long request, void* arg)
    {
        std::lock_guard<std::mutex> lock(device()->m_mutex);
        return device()->ioctl(fd - kFirstFd, request, arg);
    }
    static void* onMmap(void*, size_t, int, int, int, off_t offset)
    {
        std::lock_guard<std::mutex> lock(device()->m_mutex);
        ++device()->mapped;
        return device()->m_buffers[size_t(offset)].data();
    }
    static int onMunmap(void*, size_t) { return --device()->mapped, 0; }

    // The library polls its camera first, then an eventfd of its own.
    static int onPoll(pollfd* fds, nfds_t count, int timeout)
    {
        FakeUvcDevice* d = device();
        const Unplug how = d->unplug;
        std::unique_lock<std::mutex> lock(d->m_mutex);
        const bool frameReady = !d->m_queued.empty() && !d->frames.empty();
        lock.unlock();
        fds[0].revents = how == Unplug::PollError ? POLLERR : how != Unplug::SilentThenGone && frameReady ? POLLIN : 0;
        if (fds[0].revents)
            std::this_thread::sleep_for(std::chrono::milliseconds(4));   // a camera's pace, roughly
        const int woken = ::poll(fds + 1, count - 1, fds[0].revents ? 0 : timeout);
        return woken < 0 ? woken : woken + (fds[0].revents != 0);
    }

    int ioctl(int node, unsigned long request, void* arg)
    {
        const Unplug how = unplug;
        if (how == Unplug::PollError || how == Unplug::SilentThenGone)
            return fail(ENODEV);
        switch (request) {
        case VIDIOC_QUERYCAP: {
            auto* cap = static_cast<v4l2_capability*>(arg);
            std::strcpy(reinterpret_cast<char*>(cap->card), "Fake UVC Camera");
            cap->capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_DEVICE_CAPS;
            cap->device_caps = (node == 1 ? V4L2_CAP_META_CAPTURE : V4L2_CAP_VIDEO_CAPTURE) | V4L2_CAP_STREAMING;
            return 0;
        }
        case VIDIOC_ENUM_FMT: {   // H264 (not deliverable) from index 2 on
            auto* desc = static_cast<v4l2_fmtdesc*>(arg);
            desc->pixelformat = desc->index == 0 ? V4L2_PIX_FMT_YUYV : desc->index == 1 ? V4L2_PIX_FMT_MJPEG : V4L2_PIX_FMT_H264;
            return 0;
        }
        case VIDIOC_ENUM_FRAMESIZES: {
            auto* size = static_cast<v4l2_frmsizeenum*>(arg);
            const bool yuyv = size->pixel_format == V4L2_PIX_FMT_YUYV;
            size->type = yuyv ? V4L2_FRMSIZE_TYPE_DISCRETE : V4L2_FRMSIZE_TYPE_STEPWISE;
            if (yuyv)
                size->discrete = {160u << 2 * size->index, 120u << 2 * size->index};
            else
                size->stepwise = {320, 1920, 16, 240, 1080, 8};
            return size->index < (yuyv ? 2u : 1u) ? 0 : fail(EINVAL);
        }
        case VIDIOC_ENUM_FRAMEINTERVALS: {   // 1/5, 1/30, then 1/15 over and over
            auto* ival = static_cast<v4l2_frmivalenum*>(arg);
            ival->type = V4L2_FRMIVAL_TYPE_DISCRETE;
            ival->discrete = {1, ival->index == 0 ? 5u : ival->index == 1 ? 30u : 15u};
            return 0;
        }
        case VIDIOC_S_FMT: {   // adjusts to a size it offers
            v4l2_pix_format& pix = static_cast<v4l2_format*>(arg)->fmt.pix;
            const bool yuyv = pix.pixelformat == V4L2_PIX_FMT_YUYV;
            pix.width = yuyv ? (pix.width <= 160 ? 160 : 640) : pix.width / 16 * 16;
            pix.height = yuyv ? (pix.height <= 120 ? 120 : 480) : pix.height / 8 * 8;
            pix.bytesperline = yuyv && bytesPerLine ? bytesPerLine : pix.width * 2;
            m_bufferSize = yuyv ? pix.bytesperline * pix.height : 512 * 1024;
            return 0;
        }
        case VIDIOC_G_PARM:   // starts slow, as many cameras do
            static_cast<v4l2_streamparm*>(arg)->parm.capture = {V4L2_CAP_TIMEPERFRAME, 0, {1, 5}, 0, 0, {}};
            return 0;
        case VIDIOC_S_PARM:
            setDenominator = static_cast<v4l2_streamparm*>(arg)->parm.capture.timeperframe.denominator;
            return 0;
        case VIDIOC_REQBUFS: {
            auto* req = static_cast<v4l2_requestbuffers*>(arg);
            req->count = std::min(req->count, 3u);
            m_buffers.assign(req->count, QByteArray(int(m_bufferSize), '\0'));
            m_queued.clear();
            return 0;
        }
        case VIDIOC_QUERYBUF:
        case VIDIOC_QBUF: {
            auto* buf = static_cast<v4l2_buffer*>(arg);
            buf->length = unsigned(m_buffers[buf->index].size());
            buf->m.offset = buf->index;
            if (request == VIDIOC_QBUF)
                m_queued.push_back(buf->index);
            return 0;
        }
        case VIDIOC_DQBUF: {
            if (how == Unplug::DqbufEio)
                return fail(EIO);
            if (m_queued.empty() || frames.empty())
                return fail(EAGAIN);
            auto* buf = static_cast<v4l2_buffer*>(arg);
            buf->index = m_queued.front();
            m_queued.pop_front();
            const Frame& frame = frames[m_nextFrame++ % frames.size()];
            QByteArray& memory = m_buffers[buf->index];
            std::memcpy(memory.data(), frame.bytes.constData(), size_t(std::min(frame.bytes.size(), memory.size())));
            buf->bytesused = unsigned(frame.bytesUsed >= 0 ? frame.bytesUsed : frame.bytes.size());
            buf->flags = frame.flags;
            return 0;
        }
        case VIDIOC_STREAMON:   // the queue fills before, and empties after the stream
            return noBandwidth ? fail(ENOSPC) : 0;
        case VIDIOC_STREAMOFF:
            return 0;
        }
        return fail(ENOTTY);
    }

    // Guards the buffers and stream state below, and the public fields
    // once streaming: the capture thread and the test thread both call in.
    std::mutex m_mutex;
    size_t m_nextFrame = 0;
    std::vector<QByteArray> m_buffers;
    std::deque<unsigned> m_queued;
    unsigned m_bufferSize = 0;
};

#endif
