#include "map_upsampler.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// Coarse position of a full-resolution coordinate, clamped to the map.
void locate(int full, double scale, int coarseSize, int* left, float* weight)
{
    const double u = std::clamp((full + 0.5) / scale - 0.5, 0.0, static_cast<double>(coarseSize - 1));
    *left = std::min(static_cast<int>(u), std::max(0, coarseSize - 2));
    *weight = static_cast<float>(u - *left);
}

} // namespace

MapUpsampler::MapUpsampler(const cv::Mat& map, cv::Size full, double scale)
    : m_map(map), m_channels(map.channels()), m_full(full), m_scale(scale),
      m_left(static_cast<size_t>(full.width)), m_weight(static_cast<size_t>(full.width)),
      m_upper(static_cast<size_t>(full.width) * m_channels), m_lower(m_upper.size()), m_out(m_upper.size())
{
    CV_Assert(map.depth() == CV_32F && !map.empty());
    for (int x = 0; x < full.width; ++x)
        locate(x, scale, map.cols, &m_left[x], &m_weight[x]);
    // A one-column map has no right neighbour: its left column counts fully.
    if (map.cols == 1)
        std::fill(m_weight.begin(), m_weight.end(), 0.0f);
}

void MapUpsampler::widen(int coarseRow, std::vector<float>* out) const
{
    const float* src = m_map.ptr<float>(coarseRow);
    const int rightStep = m_map.cols > 1 ? m_channels : 0;
    const int width = m_full.width;
    const int* left = m_left.data();
    const float* weight = m_weight.data();
    float* dst = out->data();
    // The usual maps have one or three channels: spelt out, the loop keeps
    // its values in registers.
    if (m_channels == 3) {
        for (int x = 0; x < width; ++x) {
            const float* a = src + left[x] * 3;
            const float* b = a + rightStep;
            const float w = weight[x];
            dst[3 * x] = a[0] + (b[0] - a[0]) * w;
            dst[3 * x + 1] = a[1] + (b[1] - a[1]) * w;
            dst[3 * x + 2] = a[2] + (b[2] - a[2]) * w;
        }
        return;
    }
    const int n = m_channels;
    for (int x = 0; x < width; ++x) {
        const float* a = src + left[x] * n;
        const float w = weight[x];
        for (int c = 0; c < n; ++c)
            dst[x * n + c] = a[c] + (a[c + rightStep] - a[c]) * w;
    }
}

const float* MapUpsampler::row(int y)
{
    int top = 0;
    float w = 0;
    locate(y, m_scale, m_map.rows, &top, &w);
    const int bottom = std::min(top + 1, m_map.rows - 1);
    if (top != m_upperRow) {
        if (top == m_lowerRow) {
            std::swap(m_upper, m_lower);
            m_lowerRow = -1;
        } else {
            widen(top, &m_upper);
        }
        m_upperRow = top;
    }
    if (bottom != m_lowerRow) {
        widen(bottom, &m_lower);
        m_lowerRow = bottom;
    }
    const float* __restrict a = m_upper.data();
    const float* __restrict b = m_lower.data();
    float* __restrict o = m_out.data();
    const int count = static_cast<int>(m_out.size());
    for (int i = 0; i < count; ++i)
        o[i] = a[i] + (b[i] - a[i]) * w;
    return o;
}
