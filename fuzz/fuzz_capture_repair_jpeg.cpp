// The capture library's MJPEG repair (Huffman-table insertion, trimming
// after the last EOI) on any frame bytes.
#include "camera_testing.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// The standard tables add one DHT segment of a few hundred bytes.
constexpr unsigned long kMaxGrowth = 1024;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto* frame = static_cast<unsigned char*>(std::malloc(size ? size : 1));
    if (size)
        std::memcpy(frame, data, size);
    unsigned long outLen = 12345;
    unsigned char* out = TavikCam_RepairJpeg(frame, size, &outLen);
    if (!out) {
        if (outLen != 0)
            std::abort();
        std::free(frame);
        return 0;
    }
    // A delivered frame is a standalone JPEG, SOI to EOI.
    if (outLen < 4 || outLen > size + kMaxGrowth || out[0] != 0xFF || out[1] != 0xD8
        || out[outLen - 2] != 0xFF || out[outLen - 1] != 0xD9)
        std::abort();
    // Repairing a repaired frame changes nothing.
    unsigned long againLen = 0;
    unsigned char* again = TavikCam_RepairJpeg(out, outLen, &againLen);
    if (!again || againLen != outLen || std::memcmp(again, out, outLen) != 0)
        std::abort();
    std::free(again);
    std::free(out);
    std::free(frame);
    return 0;
}
