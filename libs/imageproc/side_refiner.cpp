#include "side_refiner.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kMaxRadius = 40;

// Fits a line to points, dropping those far from a first robust fit.
bool robustLine(const std::vector<cv::Point2f>& pts, float keepDistance, Line2* line)
{
    if (pts.size() < 5)
        return false;
    cv::Vec4f l;
    cv::fitLine(pts, l, cv::DIST_HUBER, 0, 0.01, 0.01);
    std::vector<cv::Point2f> kept;
    kept.reserve(pts.size());
    for (const cv::Point2f& p : pts) {
        const float d = std::abs((p.x - l[2]) * l[1] - (p.y - l[3]) * l[0]);
        if (d <= keepDistance)
            kept.push_back(p);
    }
    if (kept.size() >= 5 && kept.size() * 2 >= pts.size())
        cv::fitLine(kept, l, cv::DIST_L2, 0, 0.01, 0.01);
    line->dir = cv::Point2f(l[0], l[1]);
    line->point = cv::Point2f(l[2], l[3]);
    return true;
}

} // namespace

SideRefiner::SideRefiner(const EdgeSampler& sampler, int searchRadius, float minStep)
    : m_sampler(sampler), m_radius(std::clamp(searchRadius, 1, kMaxRadius)), m_minStep(minStep)
{
}

bool SideRefiner::fitSide(cv::Point2f a, cv::Point2f b, Line2* line) const
{
    const cv::Point2f d = b - a;
    const float len = std::hypot(d.x, d.y);
    if (len < 4)
        return false;
    const cv::Point2f dir = d / len;
    const cv::Point2f outward(dir.y, -dir.x);
    const int samples = std::clamp(static_cast<int>(len / 4), 8, 64);
    constexpr int kP = EdgeSampler::kPlanes;
    const int r = m_radius;
    const int n = 2 * (r + 1) + 1;
    float values[kP * (2 * (kMaxRadius + 1) + 1)];
    std::vector<cv::Point2f> pts;
    std::vector<int> signs;
    pts.reserve(samples);
    signs.reserve(samples);
    for (int i = 0; i < samples; ++i) {
        // Stay clear of the corners, where the neighbouring side's step lies.
        const float t = 0.08f + 0.84f * (i + 0.5f) / samples;
        const cv::Point2f p = a + d * t;
        if (!m_sampler.profile(p, outward, r + 1, values))
            continue;
        float best = 0;
        int bestK = 0, bestSign = 0;
        for (int k = -r; k <= r; ++k) {
            const int j = k + r + 1;
            float score = 0, strongest = 0;
            int kind = 0;
            for (int c = 0; c < kP; ++c) {
                const float dv = (values[c * n + j + 1] - values[c * n + j - 1]) * 0.5f;
                score += std::abs(dv);
                if (std::abs(dv) > strongest) {
                    strongest = std::abs(dv);
                    kind = (c + 1) * (dv > 0 ? 1 : -1);
                }
            }
            // Prefer steps near the expected place: text and desk texture
            // further off must not capture the side.
            score *= 1.0f - 0.35f * std::abs(static_cast<float>(k)) / r;
            if (score > best) {
                best = score;
                bestK = k;
                bestSign = kind;
            }
        }
        if (best < m_minStep * 0.5f)
            continue;
        pts.push_back(p + outward * static_cast<float>(bestK));
        signs.push_back(bestSign);
    }
    if (pts.size() < 6)
        return false;
    // A page edge keeps one direction of change along its length: keep the
    // points of the most common kind.
    int counts[2 * kP + 1] = {0};
    for (int s : signs)
        ++counts[s + kP];
    const int major = static_cast<int>(std::max_element(counts, counts + 2 * kP + 1) - counts) - kP;
    std::vector<cv::Point2f> consistent;
    consistent.reserve(pts.size());
    for (size_t i = 0; i < pts.size(); ++i) {
        if (signs[i] == major)
            consistent.push_back(pts[i]);
    }
    if (consistent.size() < 6 || consistent.size() * 3 < pts.size())
        return false;
    return robustLine(consistent, std::max(1.0f, m_radius * 0.15f), line);
}

bool SideRefiner::refine(Quad* q) const
{
    Line2 lines[4];
    for (int i = 0; i < 4; ++i) {
        const cv::Point2f a = q->p[i], b = q->p[(i + 1) % 4];
        if (!fitSide(a, b, &lines[i])) {
            const cv::Point2f d = b - a;
            const float len = std::hypot(d.x, d.y);
            if (len < 1e-3f)
                return false;
            lines[i] = Line2{a, d / len};
        }
    }
    Quad r;
    for (int i = 0; i < 4; ++i) {
        if (!quad_geometry::intersect(lines[(i + 3) % 4], lines[i], &r.p[i]))
            return false;
    }
    if (!quad_geometry::isConvex(r) || quad_geometry::signedArea(r) <= 0)
        return false;
    // A corner may lie off the picture, but not absurdly far.
    const float w = static_cast<float>(m_sampler.width()), h = static_cast<float>(m_sampler.height());
    for (const cv::Point2f& p : r.p) {
        if (p.x < -w || p.x > 2 * w || p.y < -h || p.y > 2 * h)
            return false;
        const cv::Point2f moved = p - q->p[&p - &r.p[0]];
        if (std::hypot(moved.x, moved.y) > 4.0f * m_radius + 4)
            return false;
    }
    *q = r;
    return true;
}
