#include "local_binarizer.h"

#include "map_upsampler.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
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
    Blocks b{cv::Mat(bh, bw, CV_8U, cv::Scalar(255)), cv::Mat(bh, bw, CV_8U, cv::Scalar(0)),
             cv::Mat::zeros(bh, bw, CV_32F), cv::Mat::zeros(bh, bw, CV_32F)};
    for (int y = 0; y < height; ++y) {
        const unsigned char* g = grey.ptr<unsigned char>(y);
        unsigned char* lo = b.low.ptr<unsigned char>(y / block);
        unsigned char* hi = b.high.ptr<unsigned char>(y / block);
        float* s = b.mean.ptr<float>(y / block);
        float* q = b.square.ptr<float>(y / block);
        for (int bx = 0; bx < bw; ++bx) {
            const int x1 = std::min(width, (bx + 1) * block);
            unsigned char l = lo[bx], h = hi[bx];
            unsigned sum = 0, squares = 0;
            for (int x = bx * block; x < x1; ++x) {
                l = std::min(l, g[x]);
                h = std::max(h, g[x]);
                sum += g[x];
                squares += g[x] * g[x];
            }
            lo[bx] = l;
            hi[bx] = h;
            s[bx] += static_cast<float>(sum);
            q[bx] += static_cast<float>(squares);
        }
    }
    for (int by = 0; by < bh; ++by) {
        const int rows = std::min(height, (by + 1) * block) - by * block;
        float* s = b.mean.ptr<float>(by);
        float* q = b.square.ptr<float>(by);
        for (int bx = 0; bx < bw; ++bx) {
            const float count = static_cast<float>(rows * (std::min(width, (bx + 1) * block) - bx * block));
            s[bx] /= count;
            q[bx] /= count;
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
    cv::blur(b.mean, b.mean, cv::Size(sauvola, sauvola), cv::Point(-1, -1), cv::BORDER_REFLECT);
    cv::blur(b.square, b.square, cv::Size(sauvola, sauvola), cv::Point(-1, -1), cv::BORDER_REFLECT);

    cv::Mat threshold(b.low.size(), CV_32F);
    for (int y = 0; y < threshold.rows; ++y) {
        const unsigned char* lo = b.low.ptr<unsigned char>(y);
        const unsigned char* hi = b.high.ptr<unsigned char>(y);
        const float* m = b.mean.ptr<float>(y);
        const float* q = b.square.ptr<float>(y);
        float* t = threshold.ptr<float>(y);
        for (int x = 0; x < threshold.cols; ++x) {
            const float halfway = hi[x] - lo[x] >= kStrokeContrast ? 0.5f * (hi[x] + lo[x]) : kMiddle;
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
