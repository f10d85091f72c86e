#include "edge_sampler.h"

#include <algorithm>
#include <cmath>

void EdgeSampler::makePlanes(const cv::Mat& rgb, cv::Mat* grey, cv::Mat* sat)
{
    grey->create(rgb.rows, rgb.cols, CV_8U);
    sat->create(rgb.rows, rgb.cols, CV_8U);
    for (int y = 0; y < rgb.rows; ++y) {
        const unsigned char* s = rgb.ptr<unsigned char>(y);
        unsigned char* g = grey->ptr<unsigned char>(y);
        unsigned char* t = sat->ptr<unsigned char>(y);
        for (int x = 0; x < rgb.cols; ++x, s += 3) {
            const int r = s[0], gg = s[1], b = s[2];
            g[x] = static_cast<unsigned char>((77 * r + 150 * gg + 29 * b) >> 8);
            const int hi = std::max(r, std::max(gg, b));
            const int lo = std::min(r, std::min(gg, b));
            t[x] = static_cast<unsigned char>(hi - lo);
        }
    }
}

EdgeSampler::EdgeSampler(const cv::Mat& grey, const cv::Mat& sat) : m_grey(grey), m_sat(sat) {}

bool EdgeSampler::contains(cv::Point2f p, float margin) const
{
    return p.x >= margin && p.y >= margin && p.x <= m_grey.cols - 1 - margin
        && p.y <= m_grey.rows - 1 - margin;
}

float EdgeSampler::read(const cv::Mat& plane, float x, float y) const
{
    // Beyond the frame the edge pixels repeat: no step is invented there.
    x = std::clamp(x, 0.0f, static_cast<float>(plane.cols - 1));
    y = std::clamp(y, 0.0f, static_cast<float>(plane.rows - 1));
    const int x0 = std::min(static_cast<int>(x), plane.cols - 2);
    const int y0 = std::min(static_cast<int>(y), plane.rows - 2);
    const float fx = x - x0, fy = y - y0;
    const unsigned char* r0 = plane.ptr<unsigned char>(y0) + x0;
    const unsigned char* r1 = r0 + plane.step[0];
    const float top = r0[0] + fx * (r0[1] - r0[0]);
    const float bottom = r1[0] + fx * (r1[1] - r1[0]);
    return top + fy * (bottom - top);
}

bool EdgeSampler::profile(cv::Point2f p, cv::Point2f normal, int radius, float* grey,
                          float* sat) const
{
    const cv::Point2f tangent(-normal.y, normal.x);
    // Parts of the profile beyond the frame read the repeated edge pixels,
    // so sides can be followed right up to the frame edge.
    if (!contains(p, 1.0f))
        return false;
    for (int k = -radius; k <= radius; ++k) {
        const cv::Point2f c = p + normal * static_cast<float>(k);
        float g = 0, s = 0;
        for (int t = -2; t <= 2; ++t) {
            const cv::Point2f q = c + tangent * static_cast<float>(t);
            g += read(m_grey, q.x, q.y);
            s += read(m_sat, q.x, q.y);
        }
        grey[k + radius] = g * 0.2f;
        sat[k + radius] = s * 0.2f;
    }
    return true;
}

bool EdgeSampler::step(cv::Point2f p, cv::Point2f normal, float offset, float halfLength,
                       float* greyStep, float* satStep) const
{
    const cv::Point2f tangent(-normal.y, normal.x);
    const cv::Point2f out = p + normal * offset, in = p - normal * offset;
    const float margin = halfLength + 1.0f;
    if (!contains(out, margin) || !contains(in, margin))
        return false;
    float g = 0, s = 0;
    int n = 0;
    for (float t = -halfLength; t <= halfLength + 1e-3f; t += 1.0f, ++n) {
        const cv::Point2f a = out + tangent * t, b = in + tangent * t;
        g += read(m_grey, a.x, a.y) - read(m_grey, b.x, b.y);
        s += read(m_sat, a.x, a.y) - read(m_sat, b.x, b.y);
    }
    *greyStep = g / n;
    *satStep = s / n;
    return true;
}
