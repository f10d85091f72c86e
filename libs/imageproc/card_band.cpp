#include "card_band.h"

#include "page_warper.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kCardLongest = 1.68f;
constexpr float kCardShortest = 1.5f;
// A card takes at most this share of a picture framed for pages.
constexpr float kCardMaxArea = 0.35f;
// How far a side is moved out (share of the outline's extent across it),
// in steps.
constexpr float kLeastBand = 0.08f;
constexpr float kMostBand = 0.5f;
constexpr float kBandStep = 0.02f;
// The card with its band: every side an edge, scoring nearly as well as
// the white part alone (a page with a strip of grained desk or of the
// folder beside it scores about a fifth lower).
constexpr float kMinSupport = 0.6f;
constexpr float kKeptScore = 0.85f;

bool inside(cv::Point2f p, cv::Size size)
{
    return p.x >= 0 && p.y >= 0 && p.x <= size.width - 1 && p.y <= size.height - 1;
}

} // namespace

CardBand::CardBand(const PaperJudge& paper, cv::Size size, const Judge& judge)
    : m_paper(paper), m_size(size), m_judge(judge)
{
}

bool CardBand::cardShaped(const Quad& q, cv::Size size, float slack)
{
    const double longer = PageWarper::longOverShort(PageWarper::aspectRatio(q, size));
    return longer >= kCardShortest - slack && longer <= kCardLongest + slack;
}

bool CardBand::extend(const Quad& q, const CandidateScorer::Score& score, Quad* out,
                      CandidateScorer::Score* outScore) const
{
    if (score.area > kCardMaxArea || cardShaped(q, m_size))
        return false;
    bool found = false;
    for (int side = 0; side < 4; ++side) {
        const int a = side, b = (side + 1) % 4, beforeA = (side + 3) % 4, afterB = (side + 2) % 4;
        // Of the moves giving a card's proportions, the first whose moved
        // side finds an edge.
        for (float t = kLeastBand; t <= kMostBand + 1e-3f; t += kBandStep) {
            Quad moved = q;
            moved.p[a] = q.p[a] + (q.p[a] - q.p[beforeA]) * t;
            moved.p[b] = q.p[b] + (q.p[b] - q.p[afterB]) * t;
            // A band beyond the frame edge cannot be seen.
            if (!inside(moved.p[a], m_size) || !inside(moved.p[b], m_size) || !cardShaped(moved, m_size))
                continue;
            const std::pair<Quad, CandidateScorer::Score> judged = m_judge(moved);
            const CandidateScorer::Score& s = judged.second;
            if (s.minSupport < kMinSupport || s.total < kKeptScore * score.total || s.area < 1.05f * score.area
                || !cardShaped(judged.first, m_size) || (found && s.total <= outScore->total))
                continue;
            // The band is printed: no blank paper.
            if (m_paper.judge(judged.first, &q).likeness >= PaperJudge::kPaper)
                continue;
            *out = judged.first;
            *outScore = s;
            found = true;
            break;
        }
    }
    return found;
}
