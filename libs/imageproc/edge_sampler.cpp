#include "edge_sampler.h"

#include <algorithm>
#include <cmath>

namespace {

// Planes from R, G, B; linear, so it commutes with interpolation.
inline void toPlanes(float r, float g, float b, float out[EdgeSampler::kPlanes])
{
    out[0] = (77 * r + 150 * g + 29 * b) * (1.0f / 256);
    out[1] = (r - g) * 0.5f + 128;
    out[2] = (r + g - 2 * b) * 0.25f + 128;
}

} // namespace

void EdgeSampler::makePlanes(const cv::Mat& rgb, cv::Mat* planes, cv::Mat* sat)
{
    planes->create(rgb.rows, rgb.cols, CV_8UC3);
    sat->create(rgb.rows, rgb.cols, CV_8U);
    for (int y = 0; y < rgb.rows; ++y) {
        const unsigned char* s = rgb.ptr<unsigned char>(y);
        unsigned char* p = planes->ptr<unsigned char>(y);
        unsigned char* t = sat->ptr<unsigned char>(y);
        for (int x = 0; x < rgb.cols; ++x, s += 3, p += 3) {
            const int r = s[0], g = s[1], b = s[2];
            p[0] = static_cast<unsigned char>((77 * r + 150 * g + 29 * b) >> 8);
            p[1] = static_cast<unsigned char>(((r - g) >> 1) + 128);
            p[2] = static_cast<unsigned char>(((r + g - 2 * b) >> 2) + 128);
            t[x] = static_cast<unsigned char>(std::max(r, std::max(g, b)) - std::min(r, std::min(g, b)));
        }
    }
}

EdgeSampler::EdgeSampler(const cv::Mat& image, bool fromRgb) : m_image(image), m_fromRgb(fromRgb) {}

bool EdgeSampler::contains(cv::Point2f p, float margin) const
{
    return p.x >= margin && p.y >= margin && p.x <= m_image.cols - 1 - margin
        && p.y <= m_image.rows - 1 - margin;
}

inline void EdgeSampler::read(float x, float y, float out[kPlanes]) const
{
    // Beyond the frame the edge pixels repeat: no step is invented there.
    x = std::clamp(x, 0.0f, static_cast<float>(m_image.cols - 1));
    y = std::clamp(y, 0.0f, static_cast<float>(m_image.rows - 1));
    const int x0 = std::min(static_cast<int>(x), m_image.cols - 2);
    const int y0 = std::min(static_cast<int>(y), m_image.rows - 2);
    const float fx = x - x0, fy = y - y0;
    const unsigned char* r0 = m_image.ptr<unsigned char>(y0) + 3 * x0;
    const unsigned char* r1 = r0 + m_image.step[0];
    float v[3];
    for (int c = 0; c < 3; ++c) {
        const float top = r0[c] + fx * (r0[c + 3] - r0[c]);
        const float bottom = r1[c] + fx * (r1[c + 3] - r1[c]);
        v[c] = top + fy * (bottom - top);
    }
    if (m_fromRgb) {
        toPlanes(v[0], v[1], v[2], out);
    } else {
        out[0] = v[0];
        out[1] = v[1];
        out[2] = v[2];
    }
}

bool EdgeSampler::profile(cv::Point2f p, cv::Point2f normal, int radius, float* values) const
{
    if (!contains(p, 1.0f))
        return false;
    const cv::Point2f tangent(-normal.y, normal.x);
    const int n = 2 * radius + 1;
    for (int k = -radius; k <= radius; ++k) {
        const cv::Point2f c = p + normal * static_cast<float>(k);
        float sum[kPlanes] = {0, 0, 0}, v[kPlanes];
        for (int t = -1; t <= 1; ++t) {
            const cv::Point2f q = c + tangent * (1.5f * t);
            read(q.x, q.y, v);
            for (int i = 0; i < kPlanes; ++i)
                sum[i] += v[i];
        }
        for (int i = 0; i < kPlanes; ++i)
            values[i * n + k + radius] = sum[i] * (1.0f / 3);
    }
    return true;
}

bool EdgeSampler::step(cv::Point2f p, cv::Point2f normal, float offset, float halfLength,
                       float steps[kPlanes]) const
{
    const cv::Point2f tangent(-normal.y, normal.x);
    const cv::Point2f out = p + normal * offset, in = p - normal * offset;
    // Both sides must be seen; only the tangent spread may clip at the
    // frame edge (where the edge pixels repeat).
    if (!contains(out, 0.5f) || !contains(in, 0.5f))
        return false;
    float sum[kPlanes] = {0, 0, 0}, a[kPlanes], b[kPlanes];
    int n = 0;
    for (float t = -halfLength; t <= halfLength + 1e-3f; t += 1.0f, ++n) {
        const cv::Point2f pa = out + tangent * t, pb = in + tangent * t;
        read(pa.x, pa.y, a);
        read(pb.x, pb.y, b);
        for (int i = 0; i < kPlanes; ++i)
            sum[i] += a[i] - b[i];
    }
    for (int i = 0; i < kPlanes; ++i)
        steps[i] = sum[i] / n;
    return true;
}
