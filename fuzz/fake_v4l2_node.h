// A V4L2 camera node whose every answer comes from the fuzzer's bytes,
// installed behind the capture library's system-call seam. It plays a
// camera that misbehaves in any way a USB device could: odd capabilities,
// size ranges, frame intervals, row padding, buffer counts, indices,
// byte counts and frame contents.
//
// Threads: one at a time, on the fuzzer's thread; the library is driven
// without its capture thread (the harness calls run() itself).
#ifndef TAVIK_FUZZ_FAKE_V4L2_NODE_H
#define TAVIK_FUZZ_FAKE_V4L2_NODE_H

#include "camera_testing.h"
#include "fuzz_input.h"

#include <poll.h>
#include <sys/types.h>

#include <cstdint>
#include <vector>

class FakeV4l2Node {
public:
    // Reads the node's behaviour from the front of input; the frame payload
    // is whatever the input holds after it.
    explicit FakeV4l2Node(FuzzInput& input);
    ~FakeV4l2Node();   // restores the real system calls
    FakeV4l2Node(const FakeV4l2Node&) = delete;
    FakeV4l2Node& operator=(const FakeV4l2Node&) = delete;

    // The row length the node reports for the format set, as the library
    // sees it (0 until a format was set).
    unsigned reportedBytesPerLine() const { return m_bytesPerLine; }
    const std::vector<uint8_t>& payload() const { return m_payload; }
    bool frameTaken() const { return m_frameTaken; }

private:
    static const TavikSysOps* ops();
    static int onOpen(const char* path, int flags);
    static int onClose(int fd);
    static int onIoctl(int fd, unsigned long request, void* arg);
    static void* onMmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset);
    static int onMunmap(void* addr, size_t length);
    static int onPoll(pollfd* fds, nfds_t nfds, int timeout);

    int ioctl(unsigned long request, void* arg);
    static int fail(int error);

    struct SizeAnswer {
        unsigned type;
        unsigned values[6];   // discrete w, h or min/max/step of w, then of h
    };

    uint32_t m_caps = 0;
    char m_card[32] = {};
    std::vector<uint32_t> m_formats;
    std::vector<SizeAnswer> m_sizes;
    std::vector<std::pair<uint32_t, uint32_t>> m_intervals;
    uint32_t m_parmNumerator = 0;
    uint32_t m_parmDenominator = 0;
    bool m_timePerFrame = false;
    uint8_t m_widthSkew = 0;
    uint8_t m_rowPadding = 0;
    unsigned m_bytesPerLine = 0;
    unsigned m_granted = 0;
    bool m_noBandwidth = false;
    uint8_t m_dequeueIndex = 0;
    uint32_t m_bytesUsed = 0;
    uint32_t m_flags = 0;
    int m_dequeueError = 0;
    std::vector<uint8_t> m_payload;
    // One copy of the payload per granted buffer, each its own heap block
    // of the reported length, so a read past a buffer is caught.
    std::vector<std::vector<uint8_t>> m_buffers;
    bool m_frameTaken = false;
    bool m_open = false;
};

#endif
