// The image library's JPEG exports: JPGFILE_DrawLine (preview) and
// JPGFILE_Rotate (photo), with any bytes as the JPEG.
//
// Input: export, colour, thickness, then the JPEG bytes. Pictures declaring
// more than kMaxPixels are skipped so a run stays fast; the library's own
// limits are far above that.
#include "fuzz_input.h"
#include "imageproc.h"
#include "jpeg_peek.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr long long kMaxPixels = 640LL * 480;

// The promises every result makes about the output.
void checkResult(int result, const unsigned char* in, int inLen, unsigned char* out, int outLen)
{
    switch (result) {
    case 1:
        if (!out || outLen < 4 || out[0] != 0xFF || out[1] != 0xD8)
            std::abort();
        break;
    case 0:
        // No page: the caller gets its own bytes back, so no photo is lost.
        if (!out || outLen != inLen || std::memcmp(out, in, static_cast<size_t>(inLen)) != 0)
            std::abort();
        break;
    case -1:
        if (out || outLen != 0)
            std::abort();
        break;
    default:
        std::abort();
    }
    std::free(out);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    const bool rotate = input.byte() & 1;
    const int colour = static_cast<int8_t>(input.byte());
    const int thickness = input.inRange(-3, 60);
    if (input.restSize() == 0 || input.restSize() > INT_MAX)
        return 0;
    long long w = 0, h = 0;
    if (jpegDeclaredSize(input.rest(), input.restSize(), &w, &h) && w * h > kMaxPixels)
        return 0;

    const int length = static_cast<int>(input.restSize());
    auto* jpeg = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(length)));
    std::memcpy(jpeg, input.rest(), static_cast<size_t>(length));
    unsigned char* out = nullptr;
    int outLen = -7;
    const int result = rotate ? JPGFILE_Rotate(jpeg, length, &out, &outLen)
                              : JPGFILE_DrawLine(jpeg, length, colour, thickness, &out, &outLen);
    checkResult(result, jpeg, length, out, outLen);
    std::free(jpeg);
    return 0;
}
