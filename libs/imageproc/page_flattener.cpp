#include "page_flattener.h"

#include "map_upsampler.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// The white point: this many grain levels below the paper.
constexpr float kWhiteNoiseLevels = 2.5f;
// Reflectance (1 = the white point) at and below which the page is black.
constexpr float kBlack = 0.15f;
// Chroma (max - min of the channels, 0..255) below which a pixel is made
// grey, and from which on it keeps its colour fully.
constexpr int kChromaGrey = 24;
constexpr int kChromaFull = 56;

// About this many pixels a side are sampled to find the paper's grain.
constexpr int kSampleSide = 160;

// BT.601 luma, in 1/256.
constexpr int kLumaR = 77, kLumaG = 150, kLumaB = 29;

using Table = std::array<unsigned char, 256>;

struct Tone {
    float paper = 1.0f;  // reflectance of blank paper after the division
    float noise = 2.0f;  // its grain, in grey levels of the photo
};

float luma(float r, float g, float b)
{
    return 0.299f * r + 0.587f * g + 0.114f * b;
}

// Where a full-resolution coordinate falls between two pixels of a map
// `size` long whose pixels stand for `scale` full ones.
struct Between {
    int lo, hi;
    float share;  // of `hi`
};

Between between(int full, double scale, int size)
{
    const float u = std::clamp(static_cast<float>((full + 0.5) / scale - 0.5), 0.0f, size - 1.0f);
    const int lo = std::min(static_cast<int>(u), std::max(0, size - 2));
    return {lo, std::min(lo + 1, size - 1), u - lo};
}

// Paper's level and grain, from a grid of pixels over the whole photo. The
// grain is read from the bright side of the paper peak only: ink, stamps and
// pictures are all darker than paper.
Tone measureTone(const cv::Mat& rgb, const IlluminationEstimator::Map& map)
{
    const int step = std::max(1, std::max(rgb.cols, rgb.rows) / kSampleSide);
    std::vector<float> reflectance, level;
    const cv::Mat& m = map.paper;
    for (int y = step / 2; y < rgb.rows; y += step) {
        const unsigned char* s = rgb.ptr<unsigned char>(y);
        const Between v = between(y, map.scale, m.rows);
        const cv::Vec3f* top = m.ptr<cv::Vec3f>(v.lo);
        const cv::Vec3f* bottom = m.ptr<cv::Vec3f>(v.hi);
        for (int x = step / 2; x < rgb.cols; x += step) {
            const Between u = between(x, map.scale, m.cols);
            const cv::Vec3f upper = top[u.lo] * (1 - u.share) + top[u.hi] * u.share;
            const cv::Vec3f lower = bottom[u.lo] * (1 - u.share) + bottom[u.hi] * u.share;
            const cv::Vec3f p = upper * (1 - v.share) + lower * v.share;
            const unsigned char* c = s + 3 * x;
            reflectance.push_back(luma(c[0] / std::max(1.0f, p[0]), c[1] / std::max(1.0f, p[1]),
                                       c[2] / std::max(1.0f, p[2])));
            level.push_back(luma(p[0], p[1], p[2]));
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

// Per place: 255 / (paper x white point), per channel (`channels` 3) or
// for the paper's grey (`channels` 1), so that a pixel times its gain is
// 255 at the white point, wherever it lies.
cv::Mat gainMap(const IlluminationEstimator::Map& map, const Tone& tone, int channels)
{
    cv::Mat gains(map.paper.size(), CV_32FC(channels));
    for (int y = 0; y < gains.rows; ++y) {
        const cv::Vec3f* p = map.paper.ptr<cv::Vec3f>(y);
        float* g = gains.ptr<float>(y);
        for (int x = 0; x < gains.cols; ++x) {
            const float level = std::max(1.0f, luma(p[x][0], p[x][1], p[x][2]));
            const float white = std::max(0.75f * tone.paper, tone.paper - kWhiteNoiseLevels * tone.noise / level);
            if (channels == 1) {
                g[x] = 255.0f / (level * white);
                continue;
            }
            for (int c = 0; c < 3; ++c)
                g[3 * x + c] = 255.0f / (std::max(1.0f, p[x][c]) * white);
        }
    }
    return gains;
}

// Reflectance (0..255 for 0..the white point) to grey level: black up to
// kBlack, then a smoothstep (no kink at either end, so edges of letters keep
// their steps), a little darker in the middle so that thin strokes stay
// strong. `linear`: a straight line from black to white instead.
Table toneTable(bool linear)
{
    Table table{};
    for (int i = 0; i < 256; ++i) {
        const float t = std::clamp((i / 255.0f - kBlack) / (1.0f - kBlack), 0.0f, 1.0f);
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
void keepHue(const unsigned char* in, int* out)
{
    int hi = 0, lo = 0;
    for (int k = 1; k < 3; ++k) {
        if (in[k] > in[hi])
            hi = k;
        if (in[k] < in[lo])
            lo = k;
    }
    if (in[hi] == in[lo])
        return;
    const int mid = 3 - hi - lo;
    out[mid] = out[lo] + (out[hi] - out[lo]) * (in[mid] - in[lo]) / (in[hi] - in[lo]);
}

// One row of pixels times their gains, 0..255 (255 at and above the white
// point). A plain loop the compiler turns into vector instructions.
void reflectanceRow(const unsigned char* __restrict src, const float* __restrict gain, int count,
                    unsigned char* __restrict out)
{
    for (int i = 0; i < count; ++i)
        out[i] = static_cast<unsigned char>(static_cast<int>(std::min(src[i] * gain[i] + 0.5f, 255.0f)));
}

} // namespace

void PageFlattener::toColour(cv::Mat& rgb, const IlluminationEstimator::Map& map)
{
    const cv::Mat gains = gainMap(map, measureTone(rgb, map), 3);
    MapUpsampler up(gains, rgb.size(), map.scale);
    const Table tone = toneTable(false);
    const std::array<int, 256> keep = chromaTable();
    std::vector<unsigned char> reflectance(static_cast<size_t>(rgb.cols) * 3);

    // Sizes are copied out: every byte written could otherwise alias them.
    const int width = rgb.cols, height = rgb.rows;
    for (int y = 0; y < height; ++y) {
        unsigned char* p = rgb.ptr<unsigned char>(y);
        reflectanceRow(p, up.row(y), width * 3, reflectance.data());
        for (int x = 0; x < width; ++x) {
            const unsigned char* in = &reflectance[3 * x];
            unsigned char* out = p + 3 * x;
            // Most of a page is paper, and paper is white.
            if ((in[0] & in[1] & in[2]) == 255) {
                out[0] = out[1] = out[2] = 255;
                continue;
            }
            int c[3] = {tone[in[0]], tone[in[1]], tone[in[2]]};
            const int w = keep[std::max({c[0], c[1], c[2]}) - std::min({c[0], c[1], c[2]})];
            if (w > 0)
                keepHue(in, c);
            const int grey = (kLumaR * c[0] + kLumaG * c[1] + kLumaB * c[2] + 128) >> 8;
            for (int k = 0; k < 3; ++k)
                out[k] = static_cast<unsigned char>(grey + (((c[k] - grey) * w) >> 8));
        }
    }
}

cv::Mat PageFlattener::toGrey(const cv::Mat& rgb, const IlluminationEstimator::Map& map, bool linear)
{
    // In grey the paper's tint needs no channel of its own: the photo's
    // grey is divided by the paper's grey.
    const cv::Mat gains = gainMap(map, measureTone(rgb, map), 1);
    MapUpsampler up(gains, rgb.size(), map.scale);
    const Table tone = toneTable(linear);
    cv::Mat grey;
    cv::cvtColor(rgb, grey, cv::COLOR_RGB2GRAY);
    std::vector<unsigned char> reflectance(static_cast<size_t>(rgb.cols));

    const int width = grey.cols, height = grey.rows;
    for (int y = 0; y < height; ++y) {
        unsigned char* row = grey.ptr<unsigned char>(y);
        reflectanceRow(row, up.row(y), width, reflectance.data());
        for (int x = 0; x < width; ++x)
            row[x] = tone[reflectance[x]];
    }
    return grey;
}
