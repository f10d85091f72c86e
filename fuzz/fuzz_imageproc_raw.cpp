// The image library's raw-pixel exports: RAW_DrawLine, RAW_Crop and
// ImageProc_FindDocument, with arbitrary sizes, strides and pixels.
//
// Input: export, size mode, width, height, stride slack, colour, thickness,
// background, page colour, four corners; the pixels are drawn from these (a
// light quadrilateral on a background, so the detector has pages to find)
// and the remaining bytes are scattered over them as damage.
#include "fuzz_sheet.h"
#include "imageproc.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

// Small pictures keep a run within milliseconds; the wide mode reaches the
// side limit (16384) with few rows.
constexpr int kMaxSide = 320;
constexpr int kMaxWide = 16400;
constexpr int kMaxWideRows = 20;

void drawPicture(FuzzInput& input, unsigned char* pixels, int width, int stride, int height)
{
    const uint8_t background = input.byte();
    const uint8_t page = input.byte();
    cv::Mat image(height, width, CV_8UC3, pixels, static_cast<size_t>(stride));
    drawSheet(input, image, background, page);
    scatterRest(input, pixels, width, stride, height);
}

void checkCrop(int result, unsigned char* out, int outWidth, int outStride, int outHeight)
{
    if (result == 1) {
        if (!out || outWidth <= 0 || outHeight <= 0 || outStride != 3 * outWidth)
            std::abort();
        // The whole block must be readable: touch its last byte.
        volatile unsigned char last = out[static_cast<size_t>(outStride) * outHeight - 1];
        (void)last;
    } else if (out || (result != 0 && result != -1)) {
        std::abort();
    }
    std::free(out);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    const int which = input.byte() % 3;
    const bool wide = input.byte() == 0xEE;
    const int width = wide ? input.inRange(-2, kMaxWide) : input.inRange(-2, kMaxSide);
    const int height = wide ? input.inRange(-2, kMaxWideRows) : input.inRange(-2, kMaxSide);
    const int stride = 3 * width + input.inRange(-4, 27);
    const int colour = static_cast<int8_t>(input.byte());
    const int thickness = input.inRange(-3, 60);

    // The buffer a caller with these numbers would hold: height rows of
    // stride bytes. Sizes the library must refuse get a token buffer.
    const bool plausible = width > 0 && height > 0 && stride >= 3 * width;
    const size_t bytes = plausible ? static_cast<size_t>(stride) * height : 1;
    std::vector<unsigned char> pixels(bytes, 0xAB);
    if (plausible)
        drawPicture(input, pixels.data(), width, stride, height);

    switch (which) {
    case 0: {
        const int result = RAW_DrawLine(pixels.data(), width, stride, height, colour, thickness);
        if (result < -1 || result > 1)
            std::abort();
        break;
    }
    case 1: {
        unsigned char* out = nullptr;
        int outWidth = 0, outStride = 0, outHeight = 0;
        const int result = RAW_Crop(pixels.data(), width, stride, height, &out, &outWidth, &outStride, &outHeight);
        checkCrop(result, out, outWidth, outStride, outHeight);
        break;
    }
    default: {
        float corners[8] = {};
        const int result = ImageProc_FindDocument(pixels.data(), width, stride, height, corners);
        if (result == 1) {
            for (float c : corners) {
                if (!std::isfinite(c))
                    std::abort();
            }
        } else if (result != 0) {
            std::abort();
        }
        break;
    }
    }
    return 0;
}
