#include "page_grower.h"

#include "page_warper.h"

#include <algorithm>
#include <cmath>

namespace {

// Paper goes on in shade too (the part over the folder lies lower, away
// from the light): down to this share of the brightest level...
constexpr float kShadedPaper = 0.6f;
// ...and colourless: saturation at most this share of the level, give or
// take a little noise. Tighter than the paper judge's test, which reads
// shares over a whole outline: here single pixels decide how far the walk
// goes, and a pale desk of little colour must stop it.
constexpr int kColourlessPercent = 15;
constexpr int kColourlessNoise = 3;
// The walk starts past the side's own line and moves this many pixels a
// step; a miss of this many steps in a row ends it (a row of print, the
// shade line itself, may cross the three paths).
constexpr float kFirstStep = 4.0f;
constexpr float kStep = 2.0f;
constexpr int kMisses = 2;
// Grown by less than this, the side was the page's own.
constexpr float kLeastGrowth = 12.0f;
// Three paths out, across the side.
constexpr float kPaths[] = {0.2f, 0.5f, 0.8f};
// Long over short side of the sheets a page is printed on (ISO A sizes,
// US Letter), and how near a pick's proportions must come to be one.
constexpr double kSheetShapes[] = {1.4142, 1.2941};
constexpr double kShapeTolerance = 0.03;
// Where print crosses the paths at once (a picture cut through by the
// pick's side), the sheet is completed to a sheet's proportions instead,
// if paper goes on that far along both margins, this share in from the
// sides meeting the one grown. A sheet is at most about twice its pick.
constexpr float kMarginPaths[] = {0.04f, 0.96f};
constexpr float kMostGrowthShare = 1.0f;

} // namespace

PageGrower::PageGrower(const cv::Mat& closedGrey, const cv::Mat& sat, float bright)
    : m_closed(closedGrey), m_sat(sat), m_paperLevel(kShadedPaper * bright)
{
}

bool PageGrower::paperAt(cv::Point2f p) const
{
    const cv::Point r(cvRound(p.x), cvRound(p.y));
    if (r.x < 0 || r.y < 0 || r.x >= m_closed.cols || r.y >= m_closed.rows)
        return false;
    const int level = m_closed.at<uchar>(r);
    return level >= m_paperLevel && m_sat.at<uchar>(r) * 100 <= kColourlessPercent * level + 100 * kColourlessNoise;
}

std::vector<Quad> PageGrower::grown(const Quad& pick) const
{
    const double ratio = PageWarper::aspectRatio(pick, m_closed.size());
    const double longer = PageWarper::longOverShort(ratio);
    for (double shape : kSheetShapes) {
        if (std::abs(longer - shape) <= kShapeTolerance * shape)
            return {};
    }
    std::vector<Quad> out;
    const float farthest = 2.0f * std::max(m_closed.cols, m_closed.rows);
    for (int i = 0; i < 4; ++i) {
        const cv::Point2f a = pick.p[i], b = pick.p[(i + 1) % 4];
        // Out along the sides meeting this one, so the grown outline keeps
        // them.
        cv::Point2f ua = a - pick.p[(i + 3) % 4], ub = b - pick.p[(i + 2) % 4];
        const double la = cv::norm(ua), lb = cv::norm(ub);
        if (la < 1 || lb < 1)
            continue;
        ua /= static_cast<float>(la);
        ub /= static_cast<float>(lb);
        // A place `t` pixels out on the path a share `f` across the side.
        const auto onPath = [&](float f, float t) { return a + (b - a) * f + (ua * (1 - f) + ub * f) * t; };
        float reached = 0;
        int misses = 0;
        for (float t = kFirstStep; t < farthest && misses < kMisses; t += kStep) {
            const bool paper = std::all_of(std::begin(kPaths), std::end(kPaths), [&](float f) {
                return paperAt(onPath(f, t));
            });
            if (paper) {
                reached = t;
                misses = 0;
            } else {
                ++misses;
            }
        }
        if (reached < kLeastGrowth) {
            const float most = static_cast<float>(std::max(la, lb)) * kMostGrowthShare;
            for (float t : sheetCompletions(pick, ratio, i, ua, ub, most)) {
                const bool margins = std::all_of(std::begin(kMarginPaths), std::end(kMarginPaths), [&](float f) {
                    int missed = 0;
                    for (float u = kFirstStep; u <= t - kFirstStep; u += kStep) {
                        missed = paperAt(onPath(f, u)) ? 0 : missed + 1;
                        if (missed > kMisses)
                            return false;
                    }
                    return true;
                });
                if (margins)
                    out.push_back(grownBy(pick, i, ua, ub, t));
            }
            continue;
        }
        // Paper going on to the frame's edge ends out of sight: a sheet
        // under the page, as likely as the page's own part.
        const float beyond = reached + kMisses * kStep;
        const cv::Rect frame(0, 0, m_closed.cols, m_closed.rows);
        const bool toFrame = std::any_of(std::begin(kPaths), std::end(kPaths), [&](float f) {
            const cv::Point2f p = onPath(f, beyond);
            return !frame.contains(cv::Point(cvRound(p.x), cvRound(p.y)));
        });
        if (toFrame)
            continue;
        out.push_back(grownBy(pick, i, ua, ub, reached));
    }
    return out;
}

Quad PageGrower::grownBy(const Quad& pick, int side, cv::Point2f ua, cv::Point2f ub, float t)
{
    Quad q = pick;
    q.p[side] += ua * t;
    q.p[(side + 1) % 4] += ub * t;
    return q;
}

std::vector<float> PageGrower::sheetCompletions(const Quad& pick, double start, int side, cv::Point2f ua,
                                                cv::Point2f ub, float most) const
{
    // Growth turns the proportions steadily one way: each sheet shape (as
    // the width over the height, either way up) the walk crosses is one
    // completion.
    std::vector<float> out;
    for (double shape : kSheetShapes) {
        for (double target : {shape, 1.0 / shape}) {
            for (float t = kLeastGrowth; t <= most; t += 1.0f) {
                const double r = PageWarper::aspectRatio(grownBy(pick, side, ua, ub, t), m_closed.size());
                if ((start - target) * (r - target) <= 0) {
                    out.push_back(t);
                    break;
                }
                // Moving away from this shape: another one is nearer.
                if (std::abs(r - target) > std::abs(start - target))
                    break;
            }
        }
    }
    return out;
}
