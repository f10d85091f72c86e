// The image library's ImageProc_Enhance with arbitrary sizes, strides, modes
// and pixels.
//
// Input: mode, size mode, width, height, stride slack, background, page
// colour, light falloff, four corners; the pixels are drawn from these (a
// light quadrilateral on a background, darkened towards one side, so the
// work meets paper, shadow and desk) and the remaining bytes are scattered
// over them as damage.
//
// Promises checked: the result is 1 or -1; -1 leaves every byte as it was;
// the bytes between rows are never written; grey is R = G = B and black and
// white only 0 or 255.
#include "fuzz_sheet.h"
#include "imageproc.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kMaxSide = 320;
constexpr int kMaxWide = 16400;
constexpr int kMaxWideRows = 20;

void drawPicture(FuzzInput& input, unsigned char* pixels, int width, int stride, int height)
{
    const uint8_t background = input.byte();
    const uint8_t page = input.byte();
    const int falloff = input.byte();
    cv::Mat image(height, width, CV_8UC3, pixels, static_cast<size_t>(stride));
    drawSheet(input, image, background, page);
    for (int x = 0; x < width; ++x) {
        const double light = 1.0 - falloff / 300.0 * x / width;
        cv::Mat column = image.col(x);
        column *= light;
    }
    scatterRest(input, pixels, width, stride, height);
}

void checkResult(int result, int mode, const std::vector<unsigned char>& before,
                 const std::vector<unsigned char>& after, int width, int stride, int height)
{
    if (result == -1) {
        if (before != after)
            std::abort();
        return;
    }
    if (result != 1)
        std::abort();
    for (int y = 0; y < height; ++y) {
        const size_t row = static_cast<size_t>(stride) * y;
        // The bytes after a row's pixels belong to the caller.
        if (y < height - 1
            && std::memcmp(&before[row + 3 * width], &after[row + 3 * width], static_cast<size_t>(stride - 3 * width)))
            std::abort();
        for (int x = 0; x < width && mode >= 2; ++x) {
            const unsigned char* p = &after[row + 3 * x];
            if (p[0] != p[1] || p[0] != p[2] || (mode == 3 && p[0] != 0 && p[0] != 255))
                std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    const int mode = input.inRange(-2, 5);
    const bool wide = input.byte() == 0xEE;
    const int width = wide ? input.inRange(-2, kMaxWide) : input.inRange(-2, kMaxSide);
    const int height = wide ? input.inRange(-2, kMaxWideRows) : input.inRange(-2, kMaxSide);
    const int stride = 3 * width + input.inRange(-4, 27);

    // The buffer a caller with these numbers would hold: height rows of
    // stride bytes. Sizes the library must refuse get a token buffer.
    const bool plausible = width > 0 && height > 0 && stride >= 3 * width;
    const size_t bytes = plausible ? static_cast<size_t>(stride) * height : 1;
    std::vector<unsigned char> pixels(bytes, 0xAB);
    if (plausible)
        drawPicture(input, pixels.data(), width, stride, height);

    const std::vector<unsigned char> before = pixels;
    const int result = ImageProc_Enhance(pixels.data(), width, stride, height, mode);
    if (!plausible) {
        if (result != -1 || pixels != before)
            std::abort();
        return 0;
    }
    checkResult(result, mode, before, pixels, width, stride, height);
    return 0;
}
