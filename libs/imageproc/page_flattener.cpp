#include "page_flattener.h"

#include "map_upsampler.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// Reflectance (a photo divided by its paper, scaled to the white point) is
// looked up in steps of 1/kLutScale, up to kLutTop.
constexpr int kLutScale = 512;
constexpr float kLutTop = 1.999f;
constexpr int kLutSize = 1024;

// The white point: this many noise levels below the paper.
constexpr float kWhiteNoiseLevels = 2.5f;
// Reflectance at and below which the picture is black.
constexpr float kBlack = 0.15f;
// Chroma (max - min of the channels, 0..255) below which a pixel is made
// grey, and from which on it keeps its colour fully.
constexpr int kChromaGrey = 24;
constexpr int kChromaFull = 56;

constexpr int kSampleSide = 400;

// BT.601 luma, in 1/256.
constexpr int kLumaR = 77, kLumaG = 150, kLumaB = 29;

struct Tone {
    float paper = 1.0f;  // reflectance of blank paper after the division
    float noise = 2.0f;  // its grain, in grey levels of the photo
};

float luma(float r, float g, float b)
{
    return 0.299f * r + 0.587f * g + 0.114f * b;
}

// Paper's level and grain, from a grid of pixels over the whole photo. The
// grain is read from the bright side of the paper peak only: ink, stamps and
// pictures are all darker than paper.
Tone measureTone(const cv::Mat& rgb, const IlluminationEstimator::Map& map)
{
    cv::Mat inverse;
    cv::divide(1.0, map.paper, inverse);
    MapUpsampler gains(inverse, rgb.size(), map.scale);
    MapUpsampler paper(map.paper, rgb.size(), map.scale);
    const int step = std::max(1, std::max(rgb.cols, rgb.rows) / kSampleSide);

    std::vector<float> reflectance, level;
    for (int y = step / 2; y < rgb.rows; y += step) {
        const float* g = gains.row(y);
        const float* p = paper.row(y);
        const unsigned char* s = rgb.ptr<unsigned char>(y);
        for (int x = step / 2; x < rgb.cols; x += step) {
            const int i = 3 * x;
            reflectance.push_back(luma(s[i] * g[i], s[i + 1] * g[i + 1], s[i + 2] * g[i + 2]));
            level.push_back(luma(p[i], p[i + 1], p[i + 2]));
        }
    }
    Tone tone;
    if (reflectance.empty())
        return tone;

    std::array<int, 512> histogram{};
    for (float r : reflectance)
        ++histogram[std::clamp(static_cast<int>(r * 256), 0, 511)];
    // The paper peak, near 1 by construction of the map.
    int best = 256;
    long bestCount = -1;
    for (int b = 200; b <= 290; ++b) {
        long count = 0;
        for (int k = b - 2; k <= b + 2; ++k)
            count += histogram[k];
        if (count > bestCount) {
            bestCount = count;
            best = b;
        }
    }
    tone.paper = (best + 0.5f) / 256;

    std::vector<float> above;
    for (size_t i = 0; i < reflectance.size(); ++i) {
        if (reflectance[i] >= tone.paper)
            above.push_back((reflectance[i] - tone.paper) * level[i]);
    }
    if (above.size() >= 16) {
        // 68% of the upper half of a normal spread lies within one sigma.
        const size_t k = static_cast<size_t>(0.683 * above.size());
        std::nth_element(above.begin(), above.begin() + static_cast<long>(k), above.end());
        tone.noise = std::clamp(above[k], 0.5f, 16.0f);
    }
    return tone;
}

// Per place: 1 / (paper colour x white point), so that a pixel times its
// gain is 1 at the white point, wherever it lies.
cv::Mat gainMap(const IlluminationEstimator::Map& map, const Tone& tone)
{
    cv::Mat gains(map.paper.size(), CV_32FC3);
    for (int y = 0; y < gains.rows; ++y) {
        const cv::Vec3f* p = map.paper.ptr<cv::Vec3f>(y);
        cv::Vec3f* g = gains.ptr<cv::Vec3f>(y);
        for (int x = 0; x < gains.cols; ++x) {
            const float level = std::max(1.0f, luma(p[x][0], p[x][1], p[x][2]));
            const float white = std::max(0.75f * tone.paper, tone.paper - kWhiteNoiseLevels * tone.noise / level);
            for (int c = 0; c < 3; ++c)
                g[x][c] = 1.0f / (std::max(1.0f, p[x][c]) * white);
        }
    }
    return gains;
}

// Reflectance to grey level: black up to kBlack, white from 1, a smoothstep
// between (no kink at either end, so edges of letters keep their steps),
// a little darker in the middle so that thin strokes stay strong.
std::array<unsigned char, kLutSize> toneTable(bool linear = false)
{
    std::array<unsigned char, kLutSize> table{};
    for (int i = 0; i < kLutSize; ++i) {
        const float t = std::clamp((static_cast<float>(i) / kLutScale - kBlack) / (1.0f - kBlack), 0.0f, 1.0f);
        const float s = t * t * (3 - 2 * t);
        table[i] = static_cast<unsigned char>(std::lround(255 * (linear ? t : std::pow(s, 1.15f))));
    }
    return table;
}

// How much of its colour a pixel keeps, in 1/256, by its chroma.
std::array<int, 256> chromaTable()
{
    std::array<int, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = std::clamp((c - kChromaGrey) * 256 / (kChromaFull - kChromaGrey), 0, 256);
    return table;
}

// The curve bends each channel differently, which turns a stamp's red
// towards orange or purple: the middle channel is set back to where it lay
// between the other two before the curve, which keeps the hue.
void keepHue(const int* in, int* out)
{
    int hi = 0, lo = 0;
    for (int k = 1; k < 3; ++k) {
        if (in[k] > in[hi])
            hi = k;
        if (in[k] < in[lo])
            lo = k;
    }
    if (hi == lo || in[hi] == in[lo])
        return;
    const int mid = 3 - hi - lo;
    out[mid] = out[lo] + (out[hi] - out[lo]) * (in[mid] - in[lo]) / (in[hi] - in[lo]);
}

// One row of reflectances, as table indices.
void indices(const unsigned char* src, const float* gain, int count, int* out)
{
    for (int i = 0; i < count; ++i)
        out[i] = static_cast<int>(std::min(src[i] * gain[i], kLutTop) * kLutScale);
}

} // namespace

void PageFlattener::toColour(cv::Mat& rgb, const IlluminationEstimator::Map& map)
{
    const cv::Mat gains = gainMap(map, measureTone(rgb, map));
    MapUpsampler up(gains, rgb.size(), map.scale);
    const std::array<unsigned char, kLutSize> tone = toneTable();
    const std::array<int, 256> keep = chromaTable();
    std::vector<int> index(static_cast<size_t>(rgb.cols) * 3);

    for (int y = 0; y < rgb.rows; ++y) {
        unsigned char* p = rgb.ptr<unsigned char>(y);
        indices(p, up.row(y), rgb.cols * 3, index.data());
        for (int x = 0; x < rgb.cols; ++x) {
            const int* in = &index[3 * x];
            int c[3] = {tone[in[0]], tone[in[1]], tone[in[2]]};
            const int hi = std::max({c[0], c[1], c[2]}), lo = std::min({c[0], c[1], c[2]});
            const int grey = (kLumaR * c[0] + kLumaG * c[1] + kLumaB * c[2] + 128) >> 8;
            const int w = keep[hi - lo];
            if (w == 0) {
                p[3 * x] = p[3 * x + 1] = p[3 * x + 2] = static_cast<unsigned char>(grey);
                continue;
            }
            keepHue(in, c);
            for (int k = 0; k < 3; ++k)
                p[3 * x + k] = static_cast<unsigned char>(grey + (((c[k] - grey) * w) >> 8));
        }
    }
}

cv::Mat PageFlattener::toGrey(const cv::Mat& rgb, const IlluminationEstimator::Map& map, bool linear)
{
    const cv::Mat gains = gainMap(map, measureTone(rgb, map));
    MapUpsampler up(gains, rgb.size(), map.scale);
    const std::array<unsigned char, kLutSize> tone = toneTable(linear);
    cv::Mat grey(rgb.size(), CV_8U);
    std::vector<float> reflectance(static_cast<size_t>(rgb.cols));

    for (int y = 0; y < rgb.rows; ++y) {
        const unsigned char* p = rgb.ptr<unsigned char>(y);
        const float* g = up.row(y);
        unsigned char* out = grey.ptr<unsigned char>(y);
        for (int x = 0; x < rgb.cols; ++x)
            reflectance[x] = luma(p[3 * x] * g[3 * x], p[3 * x + 1] * g[3 * x + 1], p[3 * x + 2] * g[3 * x + 2]);
        for (int x = 0; x < rgb.cols; ++x)
            out[x] = tone[static_cast<int>(std::min(reflectance[x], kLutTop) * kLutScale)];
    }
    return grey;
}
