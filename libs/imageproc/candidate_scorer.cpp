#include "candidate_scorer.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Share of the wide step that the narrow one must reach.
constexpr float kSharpness = 0.55f;
// Samples along a side: one per kSpacing pixels, at most kMaxSamples; for
// ranking, sparser.
constexpr int kSpacing = 4;
constexpr int kMaxSamples = 60;
constexpr int kRankSpacing = 6;
constexpr int kRankMaxSamples = 32;

bool onFrameEdge(cv::Point2f p, cv::Size size)
{
    const float m = 1.0f;
    const bool inside = p.x > -m && p.y > -m && p.x < size.width - 1 + m && p.y < size.height - 1 + m;
    const bool nearEdge = p.x < m || p.y < m || p.x > size.width - 1 - m || p.y > size.height - 1 - m;
    return inside && nearEdge;
}

} // namespace

CandidateScorer::CandidateScorer(const EdgeSampler& sampler, float minStep)
    : m_sampler(sampler), m_minStep(minStep)
{
}

bool CandidateScorer::sideSupport(cv::Point2f a, cv::Point2f b, int spacing, int maxSamples, float* support,
                                  float* contrast) const
{
    const cv::Point2f d = b - a;
    const float len = std::hypot(d.x, d.y);
    const cv::Point2f dir = d / std::max(len, 1e-3f);
    const cv::Point2f outward(dir.y, -dir.x);
    const int samples = std::clamp(static_cast<int>(len / spacing), std::min(8, maxSamples), maxSamples);
    constexpr int kP = EdgeSampler::kPlanes;
    struct Sample {
        float narrow[kP], wide[kP];
    };
    std::vector<Sample> taken;
    taken.reserve(samples);
    for (int i = 0; i < samples; ++i) {
        const float t = 0.06f + 0.88f * (i + 0.5f) / samples;
        Sample x;
        if (!m_sampler.step(a + d * t, outward, 2.0f, 1.5f, x.narrow))
            continue;
        // Close to the frame edge only the narrow step can be seen; it then
        // stands for the wide one.
        if (!m_sampler.step(a + d * t, outward, 6.0f, 1.5f, x.wide))
            std::copy(x.narrow, x.narrow + kP, x.wide);
        taken.push_back(x);
    }
    // A side mostly off the picture (page running out of frame) is not
    // judged.
    if (taken.size() < 6 || taken.size() * 10 < static_cast<size_t>(samples) * 3)
        return false;
    float mean[kP] = {0, 0, 0}, sign[kP];
    for (const Sample& x : taken)
        for (int c = 0; c < kP; ++c)
            mean[c] += x.narrow[c] / taken.size();
    for (int c = 0; c < kP; ++c)
        sign[c] = mean[c] >= 0 ? 1.0f : -1.0f;
    // A paper edge is a step: nearly all of the change seen 12 pixels apart
    // is already there 4 pixels apart. A soft shadow or lighting ramp is not.
    const float minStep = m_minStep;
    auto sharp = [minStep](float near, float wide) { return near >= minStep && near >= kSharpness * wide; };
    // Only planes that carry the side's step on average count: on a woven
    // or grained desk every plane flickers, and some plane would pass by
    // chance almost anywhere.
    const float strongest = std::max(std::abs(mean[0]), std::max(std::abs(mean[1]), std::abs(mean[2])));
    bool active[kP];
    for (int c = 0; c < kP; ++c)
        active[c] = std::abs(mean[c]) >= 0.5f * strongest;
    int hits = 0;
    for (const Sample& x : taken) {
        bool hit = false;
        for (int c = 0; c < kP; ++c)
            hit = hit || (active[c] && sharp(x.narrow[c] * sign[c], x.wide[c] * sign[c]));
        hits += hit ? 1 : 0;
    }
    *support = static_cast<float>(hits) / taken.size();
    *contrast = std::max(std::abs(mean[0]), std::max(std::abs(mean[1]), std::abs(mean[2])));
    return true;
}
CandidateScorer::Score CandidateScorer::score(const Quad& q) const
{
    return judge(q, kSpacing, kMaxSamples);
}

float CandidateScorer::rank(const Quad& q) const
{
    return judge(q, kRankSpacing, kRankMaxSamples).total;
}

CandidateScorer::Score CandidateScorer::judge(const Quad& q, int spacing, int maxSamples) const
{
    Score r;
    const cv::Size size(m_sampler.width(), m_sampler.height());
    if (!quad_geometry::isConvex(q))
        return r;
    for (int i = 0; i < 4; ++i) {
        const double angle = quad_geometry::cornerAngle(q, i);
        if (angle < 45 || angle > 135)
            return r;
    }
    // Proportions: the longer pair of opposite sides against the shorter.
    const double s0 = cv::norm(q.p[1] - q.p[0]) + cv::norm(q.p[2] - q.p[3]);
    const double s1 = cv::norm(q.p[2] - q.p[1]) + cv::norm(q.p[3] - q.p[0]);
    const double ratio = std::max(s0, s1) / std::max(1e-3, std::min(s0, s1));
    if (ratio > 4.5)
        return r;
    r.area = static_cast<float>(quad_geometry::visibleArea(q, size) / (static_cast<double>(size.area())));
    if (r.area < 0.04f || r.area > 0.995f)
        return r;
    float sum = 0, minimum = 1, contrastSum = 0;
    int judged = 0;
    for (int i = 0; i < 4; ++i) {
        float support, contrast;
        if (!sideSupport(q.p[i], q.p[(i + 1) % 4], spacing, maxSamples, &support, &contrast))
            continue;
        sum += support;
        contrastSum += contrast;
        minimum = std::min(minimum, support);
        ++judged;
    }
    if (judged < 2)
        return r;
    r.support = sum / judged;
    r.minSupport = minimum;
    r.contrast = contrastSum / judged;
    // Fewer judged sides means less evidence.
    const float evidence = judged == 4 ? 1.0f : (judged == 3 ? 0.93f : 0.8f);
    r.total = evidence * (0.55f * r.support + 0.45f * r.minSupport)
        * (0.8f + 0.2f * std::min(1.0f, r.contrast / 20.0f)) + 0.15f * std::sqrt(r.area);
    // A corner right on the frame edge is nearly always a side cut short by
    // the frame (the real corner lies beyond), not a page corner.
    for (const cv::Point2f& p : q.p) {
        if (onFrameEdge(p, size))
            r.total *= 0.92f;
    }
    return r;
}

bool CandidateScorer::aroundNearlyAsWell(const Quad& outer, const Score& o, const Quad& inner, const Score& i,
                                         cv::Size size)
{
    const float needed = quad_geometry::insideFrame(outer, size) ? 0.6f : 0.8f;
    return o.area > 1.15f * i.area && o.total >= std::max(kAcceptScore, needed * i.total)
        && o.minSupport >= kAcceptMinSupport && quad_geometry::encloses(outer, inner);
}
