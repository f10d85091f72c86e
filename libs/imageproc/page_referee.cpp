#include "page_referee.h"

#include "card_band.h"
#include "desk_tint.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

// Plainly no paper: little of the inside blank and bright, and most of it
// saturated (median saturation over level) or dark (median level against
// the brightest things in the picture).
constexpr float kFewBlank = 0.2f;
constexpr float kSaturated = 0.3f;
constexpr float kDark = 0.45f;
// ...or somewhat more of it blank (a label), and all the rest strongly
// saturated.
constexpr float kSomeBlank = 0.3f;
constexpr float kStronglySaturated = 0.9f;
// ...or, unless card-shaped, with hardly any blank paper inside, or with
// edges everywhere and hardly any print.
constexpr float kHardlyBlank = 0.1f;
constexpr float kKeysTexture = 0.5f;
constexpr float kLittleInk = 0.05f;
// ...or small, blank all over and with edges on much of it (a block of a
// white keyboard's keys).
constexpr float kKeysBlockArea = 0.1f;
constexpr float kAllBlank = 0.95f;
constexpr float kKeysBlockTexture = 0.4f;
// A card (85.6 x 54 mm) is taken on a desk without a page when it has a
// card's proportions, a card's size under a camera framed for pages, print,
// and no other thing beside it.
constexpr float kCardMaxArea = 0.35f;
// A bank card's print is little more than its number and a logo; the
// preview, where a wrong outline is worse than a late one, asks for more.
constexpr float kCardMinInk = 0.006f;
constexpr float kQuickCardMinInk = 0.01f;
// A card's print and pattern change its level in places, the more so on
// the preview's smaller picture; a keyboard's keys all over.
constexpr float kCardMaxTexture = 0.3f;
constexpr float kQuickCardMaxTexture = 0.45f;
// ...and its proportions are measured less well there.
constexpr float kQuickCardSlack = 0.06f;
// ...alone: no other convincing outline of this share of the picture apart
// from it (a box or a book among others is no card).
constexpr float kOtherThing = 0.02f;
// ...and no large thing beside it unoutlined (a folder the frame cuts): of
// the picture away from it (beyond kCardClear of its size: its shadow, a
// finger), at most kOtherTintShare of another tint than the desk's.
constexpr float kCardClear = 1.2f;
constexpr float kOtherTintShare = 0.12f;
// Of two sheets apart, one this much larger is the page, if it scores at
// least this share of the other.
constexpr float kLargerSheet = 1.3f;
constexpr float kOtherSheetScore = 0.8f;
// Corners this share of the picture's diagonal apart are one; a sheet's
// paper (not a picture printed on it) is blank on this share of it.
constexpr float kSharedCorner = 0.02f;
constexpr float kMostlyBlank = 0.7f;
// The outline around a pick that is part of a page, cut short along its
// print, is at least this many times larger (looking around every pick
// would cost much of a frame's budget for little).
constexpr float kPartOfPage = 2.0f;
// A paper outline lying inside one this many times larger that is not
// paper is a label on a folder or a box (a receipt on a folder is larger);
// the folder's edges show on most of its outline, though the frame may cut
// a side.
constexpr float kLabelHolder = 8.0f;
constexpr float kHolderSupport = 0.6f;
// A label the frame cuts shows only part of itself, and its outline is
// guessed past the frame: a paper outline cut so, inside one this many
// times larger that is not paper, is a label too.
constexpr float kCutLabelHolder = 3.0f;
// Where the folder's own outline was not found, a small paper outline with
// colour all around it is a label: its rim (this much wider than it) is
// plainly a saturated thing, and the frame cuts the label or that colour is
// another than the desk's (the colour most of the frame's border shows): a
// folder or a box, not a coloured desk. Colour distance in the two colour
// planes' units.
constexpr float kLabelMaxArea = 0.1f;
constexpr float kLabelRim = 1.4f;
constexpr float kOtherColour = 12.0f;
// An outline around a label and part of the folder it is stuck on: small,
// less than this share of it blank, and this saturated over all (a page's
// pictures leave more of it blank; a card, hardly any).
constexpr float kLabelAndFolderArea = 0.2f;
constexpr float kLabelAndFolderBlank = 0.4f;
constexpr float kLabelAndFolderSaturation = 0.35f;

// Whether a side runs along the frame edge, where the frame cut something
// larger.
bool alongFrameEdge(const Quad& q, cv::Size size)
{
    const float w = static_cast<float>(size.width - 1), h = static_cast<float>(size.height - 1), m = 1.5f;
    for (int i = 0; i < 4; ++i) {
        const cv::Point2f a = q.p[i], b = q.p[(i + 1) % 4];
        if ((a.x < m && b.x < m) || (a.y < m && b.y < m) || (a.x > w - m && b.x > w - m) || (a.y > h - m && b.y > h - m))
            return true;
    }
    return false;
}

// Whether the frame cuts the outline: a side along its edge, or a corner
// past it.
bool cutByFrame(const Quad& q, cv::Size size)
{
    const float m = 2.0f;
    for (const cv::Point2f& p : q.p) {
        if (p.x < -m || p.y < -m || p.x > size.width - 1 + m || p.y > size.height - 1 + m)
            return true;
    }
    return alongFrameEdge(q, size);
}

// Reorders v.
float medianOf(std::vector<unsigned char>& v)
{
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return static_cast<float>(v[v.size() / 2]);
}

double sharedArea(const Quad& a, const Quad& b)
{
    std::vector<cv::Point2f> pa(a.p.begin(), a.p.end()), pb(b.p.begin(), b.p.end()), common;
    return cv::intersectConvexConvex(pa, pb, common, true);
}

// Whether two outlines share (nearly) nothing.
bool apartFrom(const Quad& a, const Quad& b)
{
    return sharedArea(a, b)
        < 0.02 * std::min(std::abs(quad_geometry::signedArea(a)), std::abs(quad_geometry::signedArea(b)));
}

// Whether nearly all of `inner` lies inside `outer` (the two fitted apart
// may differ by a few pixels along a shared side).
bool mostlyWithin(const Quad& inner, const Quad& outer)
{
    return sharedArea(inner, outer) >= 0.95 * std::abs(quad_geometry::signedArea(inner));
}

bool notPaper(const PaperJudge::Verdict& v)
{
    // A folder's label makes a little of it blank; the folder stays
    // strongly coloured all over.
    return (v.blank < kFewBlank && (v.saturation >= kSaturated || v.level < kDark))
        || (v.blank < kSomeBlank && v.saturation >= kStronglySaturated);
}

} // namespace

PageReferee::PageReferee(const PaperJudge& paper, const cv::Mat& planes, bool quick)
    : m_paper(paper), m_planes(planes), m_size(planes.size()), m_quick(quick)
{
}

// The median colour of the frame's border.
cv::Vec2f PageReferee::deskColour() const
{
    if (m_deskKnown)
        return m_desk;
    std::vector<unsigned char> a, b;
    const int w = m_planes.cols, h = m_planes.rows, band = std::max(2, std::min(w, h) / 25);
    const auto take = [&](int x, int y) {
        const cv::Vec3b& p = m_planes.at<cv::Vec3b>(y, x);
        a.push_back(p[1]);
        b.push_back(p[2]);
    };
    for (int y = 0; y < h; y += 2) {
        const bool across = y < band || y >= h - band;
        for (int x = 0; x < w; x += 2) {
            if (across || x < band || x >= w - band)
                take(x, y);
        }
    }
    m_desk = a.empty() ? cv::Vec2f(128, 128) : cv::Vec2f(medianOf(a), medianOf(b));
    m_deskKnown = true;
    return m_desk;
}

// Whether the part of `rim` around q has the desk's colour.
bool PageReferee::ofDeskColour(const Quad& rim, const Quad& q) const
{
    std::vector<cv::Point> outer, inner;
    for (int i = 0; i < 4; ++i) {
        outer.emplace_back(cvRound(rim.p[i].x), cvRound(rim.p[i].y));
        inner.emplace_back(cvRound(q.p[i].x), cvRound(q.p[i].y));
    }
    // Only the rim's box is looked at.
    const cv::Rect box = cv::boundingRect(outer) & cv::Rect(cv::Point(0, 0), m_size);
    if (box.empty())
        return true;
    for (cv::Point& p : outer)
        p -= box.tl();
    for (cv::Point& p : inner)
        p -= box.tl();
    cv::Mat mask = cv::Mat::zeros(box.size(), CV_8U);
    cv::fillConvexPoly(mask, outer, cv::Scalar(255));
    cv::fillConvexPoly(mask, inner, cv::Scalar(0));
    std::vector<unsigned char> a, b;
    for (int y = 0; y < mask.rows; ++y) {
        const unsigned char* m = mask.ptr<unsigned char>(y);
        const cv::Vec3b* row = m_planes.ptr<cv::Vec3b>(box.y + y) + box.x;
        for (int x = 0; x < mask.cols; ++x) {
            if (m[x]) {
                a.push_back(row[x][1]);
                b.push_back(row[x][2]);
            }
        }
    }
    if (a.size() < 16)
        return true;
    const cv::Vec2f desk = deskColour();
    return std::hypot(medianOf(a) - desk[0], medianOf(b) - desk[1]) <= kOtherColour;
}

bool PageReferee::convincing(const CandidateScorer::Score& s) const
{
    return CandidateScorer::convincing(s);
}

bool PageReferee::pageLike(const Quad& q) const
{
    return m_paper.judge(q).likeness >= PaperJudge::kPaper;
}

bool PageReferee::paperNoLabel(const Judged& judged, size_t i, PaperJudge::Verdict* verdict) const
{
    const PaperJudge::Verdict v = m_paper.judge(judged[i].first);
    if (verdict)
        *verdict = v;
    return v.likeness >= PaperJudge::kPaper && !labelOnSomething(judged, judged[i].first, judged[i].second.area, v);
}

double PageReferee::shareOfPicture(const Quad& q) const
{
    return std::abs(quad_geometry::signedArea(q)) / (static_cast<double>(m_size.width) * m_size.height);
}

bool PageReferee::cardShaped(const Quad& q) const
{
    return CardBand::cardShaped(q, m_size, m_quick ? kQuickCardSlack : 0.0f);
}

bool PageReferee::plainlyNotPaper(const Quad& q, const PaperJudge::Verdict& v) const
{
    // Hardly any white inside (a book's cover, lit dimly so that it is not
    // dark against the brightest thing), or edges everywhere and hardly any
    // print (a keyboard's keys). A coloured card shows both and is judged
    // as a card.
    return notPaper(v)
        || ((v.blank < kHardlyBlank || (v.texture >= kKeysTexture && v.ink < kLittleInk)) && !cardShaped(q))
        || keysBlock(q, v);
}

bool PageReferee::keysBlock(const Quad& q, const PaperJudge::Verdict& v) const
{
    // Small, all of it bright and colourless once the gaps are closed, its
    // level changing at every key. A card or a receipt that small carries
    // print that leaves some of it not blank.
    return shareOfPicture(q) < kKeysBlockArea && v.blank >= kAllBlank && v.texture >= kKeysBlockTexture;
}

bool PageReferee::rimPlainlyNotPaper(const Quad& outer, const Quad& inner) const
{
    return notPaper(m_paper.judge(outer, &inner));
}

bool PageReferee::overrules(const Judged& judged, const Quad& picked) const
{
    const float area = static_cast<float>(shareOfPicture(picked));
    const PaperJudge::Verdict v = m_paper.judge(picked);
    return plainlyNotPaper(picked, v) || labelOnSomething(judged, picked, area, v) || m_paper.brightIsKeys(picked);
}

bool PageReferee::sheetBeside(const Quad& outer, const Quad& inner) const
{
    const float near = kSharedCorner * static_cast<float>(std::hypot(m_size.width, m_size.height));
    const auto shared = std::count_if(inner.p.begin(), inner.p.end(), [&](const cv::Point2f& a) {
        return std::any_of(outer.p.begin(), outer.p.end(),
                           [&](const cv::Point2f& b) { return cv::norm(a - b) <= near; });
    });
    if (shared != 1 && shared != 3)
        return false;
    const PaperJudge::Verdict v = m_paper.judge(inner);
    return v.likeness >= PaperJudge::kPaper && v.blank >= kMostlyBlank && rimIsPaper(outer, inner);
}

// Around a picture on a page lies blank paper; around a page on a book lies
// the book, beside a receipt a white keyboard's keys.
bool PageReferee::rimIsPaper(const Quad& outer, const Quad& inner) const
{
    const PaperJudge::Verdict v = m_paper.judge(outer, &inner);
    return v.likeness >= PaperJudge::kPaper && v.texture <= PaperJudge::kMaxTexture;
}

// A white label on a folder or a box is paper too, but small on a larger
// outline that is not.
bool PageReferee::labelOnSomething(const Judged& judged, const Quad& q, float area,
                                   const PaperJudge::Verdict& v) const
{
    // A small one holding part of the coloured thing it is stuck on.
    if (area < kLabelAndFolderArea) {
        if (v.blank >= kFewBlank && v.blank < kLabelAndFolderBlank && v.saturation >= kLabelAndFolderSaturation)
            return true;
    }
    // A small one with a plainly coloured thing all around it: cut by the
    // frame, or of a colour other than the desk's.
    if (area < kLabelMaxArea) {
        const Quad rim = quad_geometry::grown(q, kLabelRim);
        const PaperJudge::Verdict r = m_paper.judge(rim, &q);
        if (r.blank < kFewBlank && r.saturation >= kSaturated && (alongFrameEdge(q, m_size) || !ofDeskColour(rim, q)))
            return true;
    }
    const float holder = cutByFrame(q, m_size) ? kCutLabelHolder : kLabelHolder;
    for (const auto& j : judged) {
        if (j.second.support >= kHolderSupport && j.second.area > holder * area && quad_geometry::encloses(j.first, q)
            && !rimIsPaper(j.first, q))
            return true;
    }
    return false;
}

bool PageReferee::isCard(const Judged& judged, const Quad& q) const
{
    // A keyboard or a book cut by the frame edge has any proportions; a
    // card with a corner off the frame still shows all four sides.
    const double area = shareOfPicture(q);
    // A corner off the frame is where the sides meet beyond it, near the
    // frame's corner, where the lens bends lines most: the proportions of
    // such a card are known less well.
    const float slack = m_quick || cutByFrame(q, m_size) ? kQuickCardSlack : 0.0f;
    if (area > kCardMaxArea || alongFrameEdge(q, m_size) || !CardBand::cardShaped(q, m_size, slack))
        return false;
    for (const auto& j : judged) {
        if (convincing(j.second) && j.second.area >= kOtherThing && apartFrom(j.first, q))
            return false;
    }
    const PaperJudge::Verdict v = m_paper.judge(q);
    return v.ink >= (m_quick ? kQuickCardMinInk : kCardMinInk)
        && v.texture <= (m_quick ? kQuickCardMaxTexture : kCardMaxTexture) && otherTint(q) <= kOtherTintShare;
}

size_t PageReferee::bestCard(const Judged& judged) const
{
    size_t best = judged.size();
    for (size_t i = 0; i < judged.size(); ++i) {
        if (convincing(judged[i].second)
            && (best == judged.size() || judged[i].second.total > judged[best].second.total)
            && isCard(judged, judged[i].first))
            best = i;
    }
    return best;
}

float PageReferee::otherTint(const Quad& q) const
{
    return DeskTint(m_planes).otherShare(q, kCardClear);
}

size_t PageReferee::largerSheet(const Judged& judged, size_t picked) const
{
    // Of two sheets apart on the desk, the larger whole one is the page (the
    // nearer the centre when they are alike), though it score a little lower
    // (a finger on it, an object touching it).
    const cv::Point2f middle(m_size.width / 2.0f, m_size.height / 2.0f);
    const auto centreDistance = [&](const Quad& q) { return cv::norm(quad_geometry::centre(q) - middle); };
    size_t winner = picked;
    for (size_t i = 0; i < judged.size(); ++i) {
        const CandidateScorer::Score& s = judged[i].second;
        if (i == picked || !convincing(s) || s.total < kOtherSheetScore * judged[picked].second.total
            || !apartFrom(judged[i].first, judged[picked].first) || alongFrameEdge(judged[i].first, m_size)
            || !paperNoLabel(judged, i) || m_paper.printIsOneNet(judged[i].first))
            continue;
        const bool larger = s.area > kLargerSheet * judged[winner].second.area;
        const bool alike = s.area * kLargerSheet >= judged[winner].second.area && !larger;
        if (larger || (alike && centreDistance(judged[i].first) < centreDistance(judged[winner].first)))
            winner = i;
    }
    return winner;
}

size_t PageReferee::largerPaper(const Judged& judged, size_t picked, Placement placement) const
{
    size_t best = judged.size();
    for (size_t i = 0; i < judged.size(); ++i) {
        const CandidateScorer::Score& s = judged[i].second;
        const float larger = placement == Placement::Apart ? kLargerSheet : kPartOfPage;
        if (i == picked || convincing(s) || s.area <= larger * judged[picked].second.area
            || (best < judged.size() && s.total <= judged[best].second.total))
            continue;
        const bool placed = placement == Placement::Apart ? apartFrom(judged[i].first, judged[picked].first)
                                                          : mostlyWithin(judged[picked].first, judged[i].first);
        if (!placed)
            continue;
        if (m_paper.judge(judged[i].first).likeness >= PaperJudge::kPaper)
            best = i;
    }
    return best;
}

size_t PageReferee::choosePaper(const Judged& judged) const
{
    const size_t none = judged.size();
    std::vector<int> paper(judged.size(), -1), net(judged.size(), -1);
    std::vector<PaperJudge::Verdict> verdicts(judged.size());
    // Checked lazily: the judgement and the keyboard check cost most.
    const auto eligible = [&](size_t i) {
        if (!convincing(judged[i].second))
            return false;
        if (paper[i] < 0)
            paper[i] = paperNoLabel(judged, i, &verdicts[i]) ? 1 : 0;
        return paper[i] == 1;
    };
    const auto keyboard = [&](size_t i) {
        if (net[i] < 0)
            net[i] = m_paper.printIsOneNet(judged[i].first) || m_paper.brightIsKeys(judged[i].first)
                    || keysBlock(judged[i].first, verdicts[i])
                ? 1
                : 0;
        return net[i] == 1;
    };
    size_t winner = none;
    // The keyboard check is the costliest: only the best is checked, and the
    // next best taken if it fails.
    for (;;) {
        winner = none;
        for (size_t i = 0; i < judged.size(); ++i) {
            if (net[i] == 1 || !eligible(i))
                continue;
            if (winner == none || judged[i].second.total > judged[winner].second.total)
                winner = i;
        }
        if (winner == none || !keyboard(winner))
            break;
    }
    if (winner == none)
        return none;
    winner = largerSheet(judged, winner);
    // A page's pictures and tables are rectangles too: an outline around the
    // best one that is nearly as convincing, its rim paper, is the page;
    // unless it is the best one with a sheet it lies on or beside.
    for (size_t i = 0; i < judged.size(); ++i) {
        if (CandidateScorer::aroundNearlyAsWell(judged[i].first, judged[i].second, judged[winner].first,
                                                judged[winner].second, m_size)
            && pageLike(judged[i].first) && rimIsPaper(judged[i].first, judged[winner].first)
            && !sheetBeside(judged[i].first, judged[winner].first))
            winner = i;
    }
    return winner;
}
