#include "fake_v4l2_node.h"

#include "camera_testing.h"

#include <cerrno>
#include <cstring>
#include <linux/videodev2.h>
#include <sys/mman.h>

namespace {

constexpr int kFd = 77;
constexpr off_t kOffsetStep = 4096;

// The node answering the calls; set while one exists.
FakeV4l2Node* g_node = nullptr;

uint32_t pickFourcc(FuzzInput& input)
{
    switch (input.byte() % 5) {
    case 0: return V4L2_PIX_FMT_YUYV;
    case 1: return V4L2_PIX_FMT_MJPEG;
    case 2: return V4L2_PIX_FMT_JPEG;
    case 3: return V4L2_PIX_FMT_H264;
    default: return input.u16() * 65537u;
    }
}

} // namespace

FakeV4l2Node::FakeV4l2Node(FuzzInput& input)
{
    const uint8_t capsMode = input.byte();
    m_caps = capsMode < 200 ? V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_DEVICE_CAPS
                            : (static_cast<uint32_t>(input.u16()) << 16) | input.u16();
    for (char& c : m_card)
        c = static_cast<char>(input.byte());

    const int formats = input.inRange(0, 4);
    for (int i = 0; i < formats; ++i)
        m_formats.push_back(pickFourcc(input));
    const int sizes = input.inRange(0, 4);
    for (int i = 0; i < sizes; ++i) {
        SizeAnswer answer{};
        answer.type = input.inRange(0, 4);   // 1..3 are V4L2's, the rest bogus
        for (unsigned& v : answer.values)
            v = input.u16();
        m_sizes.push_back(answer);
    }
    const int intervals = input.inRange(0, 3);
    for (int i = 0; i < intervals; ++i) {
        const uint32_t numerator = input.u24();
        m_intervals.emplace_back(numerator, input.u24());
    }
    m_timePerFrame = input.byte() & 1;
    m_parmNumerator = input.u24();
    m_parmDenominator = input.u24();
    m_widthSkew = input.byte() < 16 ? 16 : 0;
    m_rowPadding = input.byte();
    m_granted = input.inRange(0, 5);
    m_noBandwidth = input.byte() == 0xFF;
    m_dequeueIndex = input.byte();
    const uint8_t usedMode = input.byte();
    const uint32_t usedRaw = input.u24();
    const uint8_t flagByte = input.byte();
    m_flags = flagByte & 1 ? V4L2_BUF_FLAG_ERROR : 0;
    m_dequeueError = flagByte == 0x80 ? ENODEV : flagByte == 0x82 ? EIO : 0;

    m_payload.assign(input.rest(), input.rest() + input.restSize());
    m_bytesUsed = usedMode < 128 ? static_cast<uint32_t>(m_payload.size()) : usedRaw;

    g_node = this;
    TavikCam_SetSysOps(ops());
}

FakeV4l2Node::~FakeV4l2Node()
{
    TavikCam_SetSysOps(nullptr);
    g_node = nullptr;
}

int FakeV4l2Node::fail(int error)
{
    errno = error;
    return -1;
}

int FakeV4l2Node::ioctl(unsigned long request, void* arg)
{
    switch (request) {
    case VIDIOC_QUERYCAP: {
        auto* cap = static_cast<v4l2_capability*>(arg);
        std::memcpy(cap->card, m_card, sizeof cap->card);
        cap->capabilities = m_caps;
        cap->device_caps = m_caps & ~V4L2_CAP_DEVICE_CAPS;
        return 0;
    }
    case VIDIOC_ENUM_FMT: {
        auto* desc = static_cast<v4l2_fmtdesc*>(arg);
        if (desc->index >= m_formats.size())
            return fail(EINVAL);
        desc->pixelformat = m_formats[desc->index];
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto* size = static_cast<v4l2_frmsizeenum*>(arg);
        if (size->index >= m_sizes.size())
            return fail(EINVAL);
        const SizeAnswer& a = m_sizes[size->index];
        size->type = a.type;
        if (a.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            size->discrete.width = a.values[0];
            size->discrete.height = a.values[1];
        } else {
            size->stepwise = {a.values[0], a.values[1], a.values[2], a.values[3], a.values[4], a.values[5]};
        }
        return 0;
    }
    case VIDIOC_S_FMT: {
        auto* fmt = static_cast<v4l2_format*>(arg);
        fmt->fmt.pix.width += m_widthSkew;
        m_bytesPerLine = m_rowPadding < 8 ? m_rowPadding : fmt->fmt.pix.width * 2 + m_rowPadding - 8;
        fmt->fmt.pix.bytesperline = m_bytesPerLine;
        return 0;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
        auto* ival = static_cast<v4l2_frmivalenum*>(arg);
        if (ival->index >= m_intervals.size())
            return fail(EINVAL);
        ival->type = V4L2_FRMIVAL_TYPE_DISCRETE;
        ival->discrete = {m_intervals[ival->index].first, m_intervals[ival->index].second};
        return 0;
    }
    case VIDIOC_G_PARM: {
        auto* parm = static_cast<v4l2_streamparm*>(arg);
        parm->parm.capture.capability = m_timePerFrame ? V4L2_CAP_TIMEPERFRAME : 0;
        parm->parm.capture.timeperframe = {m_parmNumerator, m_parmDenominator};
        return 0;
    }
    case VIDIOC_S_PARM:
        // A driver may settle on any rate: it answers with its own.
        static_cast<v4l2_streamparm*>(arg)->parm.capture.timeperframe = {m_parmNumerator, m_parmDenominator};
        return 0;
    case VIDIOC_REQBUFS: {
        auto* req = static_cast<v4l2_requestbuffers*>(arg);
        if (req->count == 0) {
            m_buffers.clear();
            return 0;
        }
        req->count = m_granted;
        m_buffers.assign(m_granted, m_payload);
        return 0;
    }
    case VIDIOC_QUERYBUF: {
        auto* buf = static_cast<v4l2_buffer*>(arg);
        if (buf->index >= m_buffers.size())
            return fail(EINVAL);
        buf->length = static_cast<uint32_t>(m_payload.size());
        buf->m.offset = static_cast<uint32_t>(buf->index * kOffsetStep);
        return 0;
    }
    case VIDIOC_QBUF:
        return 0;
    case VIDIOC_DQBUF: {
        if (m_dequeueError)
            return fail(m_dequeueError);
        if (m_frameTaken)
            return fail(EAGAIN);
        m_frameTaken = true;
        auto* buf = static_cast<v4l2_buffer*>(arg);
        buf->index = m_dequeueIndex;
        buf->bytesused = m_bytesUsed;
        buf->flags = m_flags;
        return 0;
    }
    case VIDIOC_STREAMON:
        return m_noBandwidth ? fail(ENOSPC) : 0;
    case VIDIOC_STREAMOFF:
        return 0;
    default:
        return fail(EINVAL);
    }
}

// ---- the system-call table

int FakeV4l2Node::onOpen(const char*, int)
{
    if (!g_node || g_node->m_open) {
        errno = ENOENT;
        return -1;
    }
    g_node->m_open = true;
    return kFd;
}

int FakeV4l2Node::onClose(int fd)
{
    if (!g_node || fd != kFd)
        return fail(EBADF);
    g_node->m_open = false;
    return 0;
}

int FakeV4l2Node::onIoctl(int fd, unsigned long request, void* arg)
{
    if (!g_node || fd != kFd)
        return fail(EBADF);
    return g_node->ioctl(request, arg);
}

void* FakeV4l2Node::onMmap(void*, size_t length, int, int, int fd, off_t offset)
{
    const size_t index = static_cast<size_t>(offset / kOffsetStep);
    if (!g_node || fd != kFd || index >= g_node->m_buffers.size() || length != g_node->m_payload.size()) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    static uint8_t empty;
    std::vector<uint8_t>& buffer = g_node->m_buffers[index];
    return buffer.empty() ? &empty : buffer.data();
}

int FakeV4l2Node::onMunmap(void*, size_t)
{
    return 0;
}

int FakeV4l2Node::onPoll(pollfd* fds, nfds_t nfds, int)
{
    for (nfds_t i = 0; i < nfds; ++i)
        fds[i].revents = 0;
    fds[0].revents = POLLIN;
    return 1;
}

const TavikSysOps* FakeV4l2Node::ops()
{
    static const TavikSysOps table = {onOpen, onClose, onIoctl, onMmap, onMunmap, onPoll};
    return &table;
}
