// jpeg_decompress() with any bytes, any scale and any output length.
//
// Input: 1 byte scale (signed), 3 bytes output length (minus 16, so a few
// negative lengths come too), then the JPEG bytes.
#include "compress.h"
#include "fuzz_input.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr int kMaxOutput = 4 << 20;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    const int scale = static_cast<int8_t>(input.byte());
    const int outLen = static_cast<int>(input.u24() % kMaxOutput) - 16;
    if (input.restSize() > 0xFFFFFFFFu)
        return 0;

    // Exact-size copies, so that a read or write one byte too far is caught.
    const size_t inLen = input.restSize();
    auto* in = static_cast<unsigned char*>(std::malloc(inLen ? inLen : 1));
    if (inLen)
        std::memcpy(in, input.rest(), inLen);
    auto* out = static_cast<unsigned char*>(std::malloc(outLen > 0 ? static_cast<size_t>(outLen) : 1));

    int width = -1;
    int height = -1;
    const int result = jpeg_decompress(in, static_cast<unsigned>(inLen), scale, out, &width, &height, outLen);
    if (result == 0) {
        // Success promises a picture that fits the buffer it was written to.
        if (width <= 0 || height <= 0 || static_cast<long long>(width) * height * 3 > outLen)
            std::abort();
    } else if (result != -1) {
        std::abort();
    }
    std::free(out);
    std::free(in);
    return 0;
}
