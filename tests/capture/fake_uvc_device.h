// A fake USB camera answering V4L2 calls the way the UVC driver does,
// installed behind the capture library's system-call seam.
#ifndef TAVIK_TEST_FAKE_UVC_DEVICE_H
#define TAVIK_TEST_FAKE_UVC_DEVICE_H

#include <QByteArray>

#include <atomic>
#include <poll.h>
#include <sys/types.h>
#include <mutex>
#include <vector>

// Nodes: "/fake/video0" the camera, "/fake/video1" its metadata node,
// "/fake/video2" a camera the user may not open. Formats: YUYV at discrete
// 160x120 and 640x480, MJPEG over a stepwise range 320x240 .. 1920x1080
// (steps 16 x 8), H264 (not deliverable). Frame intervals 1/5, 1/30, 1/15.
class FakeUvcDevice {
public:
    struct Frame {
        QByteArray bytes;
        unsigned flags = 0;   // e.g. V4L2_BUF_FLAG_ERROR
        int bytesUsed = -1;   // -1: the size of bytes
    };
    enum class Unplug { None, PollError, SilentThenGone, DqbufEio };

    FakeUvcDevice();   // installs itself; one at a time
    ~FakeUvcDevice();  // restores the real calls and node scan

    // Test thread, before streaming.
    void setFrames(const std::vector<Frame>& frames);   // delivered in a cycle
    void setBytesPerLine(unsigned bytesPerLine) { m_bytesPerLine = bytesPerLine; }
    void setGrantedBuffers(unsigned count) { m_granted = count; }
    void failStreamOnWithNoSpace() { m_noBandwidth = true; }
    // Any time.
    void unplug(Unplug how) { m_unplug = how; }

    // What the library did (read after it stopped).
    unsigned timePerFrameDenominator() const { return m_setDenominator; }
    int streamOns() const { return m_streamOns; }
    int streamOffs() const { return m_streamOffs; }
    int mappedBuffers() const { return m_mapped.load(); }
    int minQueuedAfterDequeue() const { return m_minQueued.load(); }
    int openDescriptors() const { return m_openFds.load(); }

private:
    static int onOpen(const char* path, int flags);
    static int onClose(int fd);
    static int onIoctl(int fd, unsigned long request, void* arg);
    static void* onMmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset);
    static int onMunmap(void* addr, size_t length);
    static int onPoll(pollfd* fds, nfds_t nfds, int timeout);

    int ioctl(int fd, unsigned long request, void* arg);
    bool frameReady();

    // Guards everything below that is not atomic: the capture thread and
    // the test thread both call in.
    std::mutex m_mutex;
    std::vector<Frame> m_frames;
    size_t m_nextFrame = 0;
    std::vector<QByteArray> m_buffers;
    std::vector<unsigned> m_queued;
    bool m_streaming = false;
    unsigned m_fourcc = 0;
    unsigned m_width = 0;
    unsigned m_height = 0;
    unsigned m_bytesPerLine = 0;
    unsigned m_granted = 3;
    bool m_noBandwidth = false;
    unsigned m_setDenominator = 0;
    int m_streamOns = 0;
    int m_streamOffs = 0;
    std::atomic<Unplug> m_unplug{Unplug::None};
    std::atomic<int> m_mapped{0};
    std::atomic<int> m_minQueued{1000};
    std::atomic<int> m_openFds{0};
};

#endif
