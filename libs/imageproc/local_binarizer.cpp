#include "local_binarizer.h"

#include "map_upsampler.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// Statistics are kept in blocks this fine (a share of the longer side).
constexpr int kBlocksOnLongSide = 640;
// The darkest and lightest grey are taken within this share of the longer
// side (two characters of small print), the mean and spread within this.
constexpr double kExtremesWindow = 0.02;
constexpr double kSauvolaWindow = 0.05;
// Less contrast than this between darkest and lightest is no stroke.
constexpr float kStrokeContrast = 48.0f;
// Strokes cover little of the window; a picture's edge covers much of it and
// is cut at the middle grey instead.
constexpr float kStrokeCover = 0.4f;
// Sauvola's constants: the spread's weight and its normaliser.
constexpr float kSauvolaWeight = 0.25f;
constexpr float kSauvolaRange = 128.0f;
// The threshold's bounds, and its value where nothing is printed nearby.
constexpr float kLowest = 112.0f;
constexpr float kHighest = 232.0f;
constexpr float kMiddle = 128.0f;

int oddWindow(double share, int longSide, int block)
{
    return std::max(3, static_cast<int>(std::lround(share * longSide / block)) | 1);
}

struct Blocks {
    cv::Mat low, high;       // CV_8U: darkest and lightest grey
    cv::Mat mean, square;    // CV_32F: mean grey and mean square
};

Blocks gather(const cv::Mat& grey, int block)
{
    const int width = grey.cols, height = grey.rows;
    const int bw = (width + block - 1) / block, bh = (height + block - 1) / block;
    Blocks b{cv::Mat(bh, bw, CV_8U), cv::Mat(bh, bw, CV_8U), cv::Mat(bh, bw, CV_32F), cv::Mat(bh, bw, CV_32F)};
    // Down each column of a row of blocks first (plain loops over whole
    // rows, which the compiler vectorises), then across each block.
    std::vector<unsigned char> low(static_cast<size_t>(width)), high(static_cast<size_t>(width));
    std::vector<uint32_t> sum(static_cast<size_t>(width)), squares(static_cast<size_t>(width));
    for (int by = 0; by < bh; ++by) {
        const int y0 = by * block, y1 = std::min(height, y0 + block);
        std::fill(low.begin(), low.end(), 255);
        std::fill(high.begin(), high.end(), 0);
        std::fill(sum.begin(), sum.end(), 0u);
        std::fill(squares.begin(), squares.end(), 0u);
        unsigned char* __restrict lo = low.data();
        unsigned char* __restrict hi = high.data();
        uint32_t* __restrict s = sum.data();
        uint32_t* __restrict q = squares.data();
        for (int y = y0; y < y1; ++y) {
            const unsigned char* __restrict g = grey.ptr<unsigned char>(y);
            for (int x = 0; x < width; ++x) {
                lo[x] = std::min(lo[x], g[x]);
                hi[x] = std::max(hi[x], g[x]);
                s[x] += g[x];
                q[x] += static_cast<uint32_t>(g[x]) * g[x];
            }
        }
        unsigned char* blockLow = b.low.ptr<unsigned char>(by);
        unsigned char* blockHigh = b.high.ptr<unsigned char>(by);
        float* blockMean = b.mean.ptr<float>(by);
        float* blockSquare = b.square.ptr<float>(by);
        for (int bx = 0; bx < bw; ++bx) {
            const int x0 = bx * block, x1 = std::min(width, x0 + block);
            unsigned char l = 255, h = 0;
            uint32_t total = 0, totalSquares = 0;
            for (int x = x0; x < x1; ++x) {
                l = std::min(l, lo[x]);
                h = std::max(h, hi[x]);
                total += s[x];
                totalSquares += q[x];
            }
            const float count = static_cast<float>((x1 - x0) * (y1 - y0));
            blockLow[bx] = l;
            blockHigh[bx] = h;
            blockMean[bx] = total / count;
            blockSquare[bx] = totalSquares / count;
        }
    }
    return b;
}

} // namespace

void LocalBinarizer::apply(cv::Mat& grey)
{
    const int longSide = std::max(grey.cols, grey.rows);
    const int block = std::max(1, static_cast<int>(std::lround(static_cast<double>(longSide) / kBlocksOnLongSide)));
    Blocks b = gather(grey, block);

    const int extremes = oddWindow(kExtremesWindow, longSide, block);
    const cv::Mat square = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(extremes, extremes));
    cv::erode(b.low, b.low, square);
    cv::dilate(b.high, b.high, square);
    const int sauvola = oddWindow(kSauvolaWindow, longSide, block);
    cv::Mat nearMean;
    cv::blur(b.mean, nearMean, cv::Size(extremes, extremes), cv::Point(-1, -1), cv::BORDER_REFLECT);
    cv::blur(b.mean, b.mean, cv::Size(sauvola, sauvola), cv::Point(-1, -1), cv::BORDER_REFLECT);
    cv::blur(b.square, b.square, cv::Size(sauvola, sauvola), cv::Point(-1, -1), cv::BORDER_REFLECT);

    cv::Mat threshold(b.low.size(), CV_32F);
    for (int y = 0; y < threshold.rows; ++y) {
        const unsigned char* lo = b.low.ptr<unsigned char>(y);
        const unsigned char* hi = b.high.ptr<unsigned char>(y);
        const float* m = b.mean.ptr<float>(y);
        const float* near = nearMean.ptr<float>(y);
        const float* q = b.square.ptr<float>(y);
        float* t = threshold.ptr<float>(y);
        for (int x = 0; x < threshold.cols; ++x) {
            const float contrast = hi[x] - lo[x];
            const bool strokes = contrast >= kStrokeContrast && hi[x] - near[x] <= kStrokeCover * contrast;
            const float halfway = strokes ? 0.5f * (hi[x] + lo[x]) : kMiddle;
            const float spread = std::sqrt(std::max(0.0f, q[x] - m[x] * m[x]));
            const float local = m[x] * (1 + kSauvolaWeight * (spread / kSauvolaRange - 1));
            t[x] = std::clamp(std::min(halfway, local), kLowest, kHighest);
        }
    }
    // Block edges must not show in the threshold.
    cv::blur(threshold, threshold, cv::Size(3, 3));

    MapUpsampler up(threshold, grey.size(), block);
    const int width = grey.cols, height = grey.rows;
    for (int y = 0; y < height; ++y) {
        const float* __restrict t = up.row(y);
        unsigned char* __restrict g = grey.ptr<unsigned char>(y);
        for (int x = 0; x < width; ++x)
            g[x] = g[x] < t[x] ? 0 : 255;
    }
}
