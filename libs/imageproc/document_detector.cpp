#include "document_detector.h"

#include "candidate_finder.h"
#include "candidate_scorer.h"
#include "content_outliner.h"
#include "edge_sampler.h"
#include "page_warper.h"
#include "paper_judge.h"
#include "side_refiner.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

// Longest side of the picture proposals are made on.
constexpr int kWorkSide = 400;
// ...and for a quick search: a preview frame without a page shown yet, where
// the first outline must come within a frame's budget.
constexpr int kQuickWorkSide = 240;
// Lowest score taken as a page; set on the development scenes.
constexpr float kAcceptScore = 0.62f;
constexpr float kAcceptMinSupport = 0.3f;
// Below this share of the picture, a convincing outline may still be a
// picture on a page whose own edges are faint.
constexpr float kSmallArea = 0.3f;
// ...unless it is this much brighter than around it (grey levels).
constexpr double kStandsOut = 12.0;
// Range of the weakest step counted as an edge (plane levels).
constexpr float kMinStepFloor = 2.0f;
constexpr float kMinStepCeiling = 4.0f;
// A previous outline is kept without a new search when it scores this well.
constexpr float kTrackScore = 0.8f;
constexpr float kTrackMinSupport = 0.6f;
// An outline found from the print outwards needs an edge of this many
// levels on every side, agreed by this share of the side's samples.
constexpr float kContentMinStep = 1.3f;
constexpr float kContentMinSupport = 0.55f;
// ...and it replaces a convincing outline only when this much larger (the
// outline was a picture on the page, not the page itself).
constexpr float kContentOverArea = 1.5f;
constexpr float kContentClearStep = 3.0f;
constexpr float kContentClearSupport = 0.85f;
constexpr float kContentClearOverArea = 1.1f;
// Proposals judged in full per source.
constexpr size_t kJudged = 12;
// A card (coloured all over, so not paper by its colour) is taken on a desk
// without a page when it has a card's proportions (85.6 x 54 mm), a card's
// size under a camera framed for pages, print, and clear edges all round.
constexpr float kCardLongest = 1.68f;
constexpr float kCardShortest = 1.5f;
constexpr float kCardMaxArea = 0.35f;
constexpr float kCardMinInk = 0.01f;
constexpr float kCardMinSupport = 0.6f;
// Of two sheets apart, one this much larger is the page, if it scores at
// least this share of the other.
constexpr float kLargerSheet = 1.3f;
constexpr float kOtherSheetScore = 0.8f;
// A paper outline lying on a convincing outline this many times larger that
// is not paper is a label on a folder or a box.
constexpr float kLabelHolder = 4.0f;

cv::Mat downscaled(const cv::Mat& rgb, int factor)
{
    if (factor == 1)
        return rgb;
    const int w = rgb.cols / factor, h = rgb.rows / factor;
    cv::Mat small;
    const cv::Mat whole = rgb(cv::Rect(0, 0, w * factor, h * factor));
    if (factor % 2 == 0) {
        // Halving has OpenCV's vectorised area path; other factors its plain
        // one, several times slower: halve first.
        cv::Mat half;
        cv::resize(whole, half, cv::Size(whole.cols / 2, whole.rows / 2), 0, 0, cv::INTER_AREA);
        return downscaled(half, factor / 2);
    }
    // Integer factors take OpenCV's fast area path.
    cv::resize(whole, small, cv::Size(w, h), 0, 0, cv::INTER_AREA);
    return small;
}

// Weakest step taken as edge evidence: three times the noise left in the
// smoothed brightness (robustly, from the median deviation from a local
// mean), within 2..4 levels. Quiet pictures let faint pages count.
float minStepFor(const cv::Mat& planes)
{
    cv::Mat grey, local, deviation;
    cv::extractChannel(planes, grey, 0);
    cv::blur(grey, local, cv::Size(3, 3));
    cv::absdiff(grey, local, deviation);
    int histogram[256] = {0};
    for (int y = 0; y < deviation.rows; y += 2) {
        const unsigned char* d = deviation.ptr<unsigned char>(y);
        for (int x = 0; x < deviation.cols; x += 2)
            ++histogram[d[x]];
    }
    const int total = ((deviation.rows + 1) / 2) * ((deviation.cols + 1) / 2);
    int seen = 0, median = 0;
    while (median < 255 && (seen += histogram[median]) * 2 < total)
        ++median;
    const float sigma = 1.4826f * std::max(0.5f, static_cast<float>(median));
    return std::clamp(3.0f * sigma, kMinStepFloor, kMinStepCeiling);
}

bool insideFrame(const Quad& q, cv::Size size)
{
    for (const cv::Point2f& p : q.p) {
        if (p.x < 0 || p.y < 0 || p.x > size.width - 1 || p.y > size.height - 1)
            return false;
    }
    return true;
}

// Whole in the picture: no corner beyond the frame, no side along its edge
// (where the frame cut something larger).
bool wholeInFrame(const Quad& q, cv::Size size)
{
    if (!insideFrame(q, size))
        return false;
    const float w = static_cast<float>(size.width - 1), h = static_cast<float>(size.height - 1), m = 1.5f;
    for (int i = 0; i < 4; ++i) {
        const cv::Point2f a = q.p[i], b = q.p[(i + 1) % 4];
        if ((a.x < m && b.x < m) || (a.y < m && b.y < m) || (a.x > w - m && b.x > w - m) || (a.y > h - m && b.y > h - m))
            return false;
    }
    return true;
}

// Whether two outlines share (nearly) nothing.
bool apartFrom(const Quad& a, const Quad& b)
{
    std::vector<cv::Point2f> pa(a.p.begin(), a.p.end()), pb(b.p.begin(), b.p.end()), common;
    const double shared = cv::intersectConvexConvex(pa, pb, common, true);
    return shared < 0.02 * std::min(std::abs(quad_geometry::signedArea(a)), std::abs(quad_geometry::signedArea(b)));
}

bool encloses(const Quad& outer, const Quad& inner)
{
    const std::vector<cv::Point2f> poly(outer.p.begin(), outer.p.end());
    for (const cv::Point2f& p : inner.p) {
        if (cv::pointPolygonTest(poly, p, true) < -2.0)
            return false;
    }
    return true;
}

// How much brighter the inside of an outline is than a ring just around it
// (grey levels): a sheet on a darker desk stands well out, a box printed on
// a sheet on a desk of the sheet's own shade hardly.
double brightnessOverAround(const cv::Mat& grey, const Quad& q)
{
    cv::Point2f centre(0, 0);
    for (const cv::Point2f& p : q.p)
        centre += p * 0.25f;
    std::vector<cv::Point> inner, outer;
    for (const cv::Point2f& p : q.p) {
        inner.emplace_back(cvRound(p.x), cvRound(p.y));
        const cv::Point2f far = centre + (p - centre) * 1.15f;
        outer.emplace_back(cvRound(far.x), cvRound(far.y));
    }
    cv::Mat inside(grey.size(), CV_8U, cv::Scalar(0)), ring(grey.size(), CV_8U, cv::Scalar(0));
    cv::fillConvexPoly(inside, inner, cv::Scalar(255));
    cv::fillConvexPoly(ring, outer, cv::Scalar(255));
    ring.setTo(cv::Scalar(0), inside);
    if (cv::countNonZero(inside) == 0 || cv::countNonZero(ring) == 0)
        return 0;
    return cv::mean(grey, inside)[0] - cv::mean(grey, ring)[0];
}

} // namespace

int DocumentDetector::workFactor(cv::Size size, bool quick)
{
    return std::max(1, std::max(size.width, size.height) / (quick ? kQuickWorkSide : kWorkSide));
}

bool DocumentDetector::find(const cv::Mat& rgb, Result* result, std::vector<Trace>* trace, const Quad* hint,
                            bool quick)
{
    if (rgb.empty() || rgb.type() != CV_8UC3 || rgb.cols < 16 || rgb.rows < 16)
        return false;
    const int factor = workFactor(rgb.size(), quick);
    const cv::Mat small = downscaled(rgb, factor);

    cv::Mat planes, sat, grey, closedGrey;
    EdgeSampler::makePlanes(small, &planes, &sat);
    {
        cv::Mat channels[EdgeSampler::kPlanes];
        cv::split(planes, channels);
        grey = channels[0].clone();
        // Closing lifts dark strokes to the paper's level, so text does not
        // break the page into fragments; smoothing then tames noise and JPEG
        // blocks.
        const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(5, 5));
        cv::morphologyEx(channels[0], channels[0], cv::MORPH_CLOSE, kernel);
        for (cv::Mat& c : channels)
            cv::GaussianBlur(c, c, cv::Size(5, 5), 0);
        cv::merge(channels, EdgeSampler::kPlanes, planes);
        cv::GaussianBlur(sat, sat, cv::Size(5, 5), 0);
        closedGrey = channels[0];
    }
    const PaperJudge paper(closedGrey, grey, sat);

    const EdgeSampler sampler(planes, false);
    // The wide search reaches 2% of the picture's diagonal (8 pixels at the
    // usual work size): far enough for a poorly placed proposal, not so far
    // that a printed rule near the edge takes the side.
    const int reach = std::clamp(static_cast<int>(0.02 * std::hypot(planes.cols, planes.rows)), 4, 8);
    const SideRefiner wide(sampler, reach, 4.0f);
    const SideRefiner fine(sampler, 3, 4.0f);
    const CandidateScorer scorer(sampler, minStepFor(planes));
    std::vector<std::pair<Quad, CandidateScorer::Score>> scored;
    auto judge = [&](const Quad& c) {
        // Coarse to fine: a wide first search catches sides the proposal
        // placed badly; later passes follow sides the first one lengthened
        // (a corner beyond the frame edge).
        Quad q = c;
        for (const SideRefiner* r : {&wide, &fine}) {
            Quad next = q;
            if (r->refine(&next))
                q = next;
        }
        scored.emplace_back(q, scorer.score(q));
        if (trace)
            trace->push_back(Trace{c, q, scored.back().second});
    };
    // A page found in the previous frame is usually still there: when its
    // outline holds up, the proposals are not needed.
    bool tracked = false;
    if (hint) {
        Quad small;
        for (int i = 0; i < 4; ++i)
            small.p[i] = (hint->p[i] + cv::Point2f(0.5f, 0.5f)) / static_cast<float>(factor) - cv::Point2f(0.5f, 0.5f);
        judge(small);
        const CandidateScorer::Score& s = scored.back().second;
        tracked = s.total >= kTrackScore && s.minSupport >= kTrackMinSupport;
    }
    const std::vector<Quad> candidates = tracked ? std::vector<Quad>() : CandidateFinder(planes, sat).find();
    // Full judgement is the costly part: rank the proposals as they stand
    // and judge the most promising.
    std::vector<std::pair<float, Quad>> ranked;
    for (const Quad& c : candidates)
        ranked.emplace_back(scorer.rank(c), c);
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    // Near repeats of a proposal already taken would crowd out the others.
    const float apart = 0.02f * static_cast<float>(std::hypot(planes.cols, planes.rows));
    std::vector<Quad> taken;
    for (size_t i = 0; i < ranked.size() && taken.size() < kJudged; ++i) {
        const bool repeat = std::any_of(taken.begin(), taken.end(), [&](const Quad& t) {
            return quad_geometry::cornerDistance(t, ranked[i].second) < apart;
        });
        if (repeat)
            continue;
        taken.push_back(ranked[i].second);
        judge(ranked[i].second);
    }
    // Nothing convincing from the contours, or only something small (a
    // picture on a faint page): try the line source, ranking its many
    // proposals cheaply before the full judgement.
    // A small sheet standing out bright from the desk around it is no
    // picture on a faint page either.
    const bool convinced = std::any_of(scored.begin(), scored.end(), [&](const auto& s) {
        return s.second.total >= kAcceptScore && s.second.minSupport >= kAcceptMinSupport
            && paper.judge(s.first).likeness >= PaperJudge::kPaper
            && (s.second.area >= kSmallArea || brightnessOverAround(grey, s.first) >= kStandsOut);
    });
    // The outline found from the print outwards, worked out at most once.
    bool printTried = false, printFound = false;
    Quad fromPrint;
    ContentOutliner::Evidence printEvidence;
    const auto outlineFromPrint = [&]() {
        if (!printTried) {
            printTried = true;
            printFound = ContentOutliner(grey).propose(&fromPrint, &printEvidence)
                && printEvidence.weakestStep >= kContentMinStep && printEvidence.weakestSupport >= kContentMinSupport;
        }
        return printFound;
    };
    // Nothing convincing at all, but a sheet whose edges the print led to
    // clearly all round (white on white): the lines would find no more.
    const bool anyConvincing = std::any_of(scored.begin(), scored.end(), [](const auto& s) {
        return s.second.total >= kAcceptScore && s.second.minSupport >= kAcceptMinSupport;
    });
    const bool clearFromPrint = !convinced && !anyConvincing && !tracked && !quick && outlineFromPrint()
        && printEvidence.weakestStep >= kContentClearStep && printEvidence.weakestSupport >= kContentClearSupport;
    if (!convinced && !tracked && !quick && !clearFromPrint) {
        std::vector<Quad> judged;
        for (const auto& s : scored) {
            if (s.second.total >= kAcceptScore && s.second.minSupport >= kAcceptMinSupport)
                judged.push_back(s.first);
        }
        // With a small convincing outline already, only outlines around it
        // (its page) are of interest.
        ranked.clear();
        for (const Quad& q : CandidateFinder(planes, sat).findFromLines(judged)) {
            const bool aroundAll = std::all_of(judged.begin(), judged.end(),
                                               [&q](const Quad& j) { return encloses(q, j); });
            if (aroundAll)
                ranked.emplace_back(scorer.rank(q), q);
        }
        std::sort(ranked.begin(), ranked.end(),
                  [](const auto& a, const auto& b) { return a.first > b.first; });
        for (size_t i = 0; i < ranked.size() && i < kJudged && ranked[i].first > 0; ++i)
            judge(ranked[i].second);
    }
    // A sheet printed in two tones (a card's coloured band, a form's
    // header) falls apart into two outlines sharing a side: propose their
    // union as well.
    std::vector<size_t> strong;
    for (size_t i = 0; i < scored.size(); ++i) {
        if (scored[i].second.total >= kAcceptScore)
            strong.push_back(i);
    }
    std::sort(strong.begin(), strong.end(), [&](size_t a, size_t b) {
        return scored[a].second.total > scored[b].second.total;
    });
    if (strong.size() > 6)
        strong.resize(6);
    for (size_t i = 0; i < strong.size(); ++i) {
        for (size_t j = i + 1; j < strong.size(); ++j) {
            Quad u;
            if (CandidateFinder::unionOf(scored[strong[i]].first, scored[strong[j]].first,
                                         planes.size(), &u))
                judge(u);
        }
    }
    // Paper wins: only outlines whose inside looks like paper compete, and
    // a saturated or dark rectangle never takes the page's place.
    std::vector<float> likeness(scored.size(), -1.0f);
    const auto pageLike = [&](size_t i) {
        if (likeness[i] < 0)
            likeness[i] = paper.judge(scored[i].first).likeness;
        return likeness[i] >= PaperJudge::kPaper;
    };
    const auto convincing = [&](size_t i) {
        return scored[i].second.total >= kAcceptScore && scored[i].second.minSupport >= kAcceptMinSupport;
    };
    // Around a picture on a page lies blank paper; around a page on a book
    // lies the book, beside a receipt a white keyboard's keys.
    const auto cardShaped = [&](const Quad& q) {
        const double ratio = PageWarper::aspectRatio(q, planes.size());
        const double longer = std::max(ratio, 1.0 / std::max(ratio, 1e-6));
        return longer >= kCardShortest && longer <= kCardLongest;
    };
    const auto rimIsPaper = [&](const Quad& outer, const Quad& inner) {
        const PaperJudge::Verdict v = paper.judge(outer, &inner);
        return v.likeness >= PaperJudge::kPaper && v.texture <= PaperJudge::kMaxTexture;
    };
    // ...but a card's printed band is no paper either: an outline of a
    // card's shape around one that has none is the card.
    const auto cardAround = [&](size_t outer, size_t inner) {
        return scored[outer].second.area <= kCardMaxArea && cardShaped(scored[outer].first)
            && !cardShaped(scored[inner].first);
    };
    // A white label on a folder or a box is paper too, but small on a
    // larger outline that is not.
    const auto labelOn = [&](const Quad& q, float area) {
        for (size_t j = 0; j < scored.size(); ++j) {
            if (convincing(j) && scored[j].second.area > kLabelHolder * area && encloses(scored[j].first, q)
                && !rimIsPaper(scored[j].first, q))
                return true;
        }
        return false;
    };
    const auto labelOnSomething = [&](size_t i) { return labelOn(scored[i].first, scored[i].second.area); };
    // Checked last, on the few outlines that get this far.
    std::vector<int> net(scored.size(), -1);
    const auto keyboard = [&](size_t i) {
        if (net[i] < 0)
            net[i] = paper.printIsOneNet(scored[i].first) ? 1 : 0;
        return net[i] == 1;
    };
    size_t winner = scored.size();
    for (size_t i = 0; i < scored.size(); ++i) {
        if (!convincing(i) || !pageLike(i) || labelOnSomething(i))
            continue;
        if (winner == scored.size() || scored[i].second.total > scored[winner].second.total)
            winner = i;
    }
    // The keyboard check is the costliest: only the best is checked, and
    // the next best taken if it fails.
    while (winner < scored.size() && keyboard(winner)) {
        const size_t failed = winner;
        winner = scored.size();
        for (size_t i = 0; i < scored.size(); ++i) {
            if (net[i] == 1 || i == failed || !convincing(i) || !pageLike(i) || labelOnSomething(i))
                continue;
            if (winner == scored.size() || scored[i].second.total > scored[winner].second.total)
                winner = i;
        }
    }
    if (winner < scored.size()) {
        // Of two sheets apart on the desk, the larger whole one is the page
        // (the nearer the centre when they are alike), though it score a
        // little lower (a finger on it, an object touching it).
        const cv::Point2f middle(planes.cols / 2.0f, planes.rows / 2.0f);
        const auto centreDistance = [&](const Quad& q) {
            cv::Point2f c(0, 0);
            for (const cv::Point2f& p : q.p)
                c += p * 0.25f;
            return cv::norm(c - middle);
        };
        const size_t first = winner;
        for (size_t i = 0; i < scored.size(); ++i) {
            const CandidateScorer::Score& s = scored[i].second;
            const CandidateScorer::Score& w = scored[first].second;
            if (i == first || !convincing(i) || s.total < kOtherSheetScore * w.total || !pageLike(i)
                || !apartFrom(scored[i].first, scored[first].first) || labelOnSomething(i) || keyboard(i))
                continue;
            const bool larger = s.area > kLargerSheet * scored[winner].second.area;
            const bool alike = s.area * kLargerSheet >= scored[winner].second.area && !larger;
            if (larger || (alike && centreDistance(scored[i].first) < centreDistance(scored[winner].first)))
                winner = i;
        }
        // A page's pictures and tables are rectangles too: an outline around
        // the best one that is nearly as convincing is the page itself.
        for (size_t i = 0; i < scored.size(); ++i) {
            const CandidateScorer::Score& s = scored[i].second;
            const CandidateScorer::Score& w = scored[winner].second;
            // A faint page may score well below its picture; an outline
            // reaching off the frame must score nearly as well (its sides are
            // seen only in part).
            const float needed = insideFrame(scored[i].first, planes.size()) ? 0.6f : 0.8f;
            if (s.area > 1.15f * w.area && s.total >= std::max(kAcceptScore, needed * w.total)
                && s.minSupport >= kAcceptMinSupport && encloses(scored[i].first, scored[winner].first)
                && pageLike(i) && (rimIsPaper(scored[i].first, scored[winner].first) || cardAround(i, winner)))
                winner = i;
        }
    } else {
        // No paper: a card alone on the desk is still a document.
        for (size_t i = 0; i < scored.size(); ++i) {
            const CandidateScorer::Score& s = scored[i].second;
            // Whole in the picture: a keyboard or a book cut by the frame
            // edge has any proportions.
            if (!convincing(i) || s.minSupport < kCardMinSupport || s.area > kCardMaxArea
                || !wholeInFrame(scored[i].first, planes.size()))
                continue;
            const PaperJudge::Verdict v = paper.judge(scored[i].first);
            if (!cardShaped(scored[i].first) || v.ink < kCardMinInk || v.texture > PaperJudge::kMaxTexture)
                continue;
            if (winner == scored.size() || s.total > scored[winner].second.total)
                winner = i;
        }
    }
    const bool accepted = winner < scored.size();
    if (trace) {
        for (size_t i = 0; i < scored.size() && i < trace->size(); ++i) {
            const PaperJudge::Verdict v = paper.judge(scored[i].first);
            (*trace)[i].likeness = v.likeness;
            (*trace)[i].texture = v.texture;
            (*trace)[i].ink = v.ink;
            (*trace)[i].brightness = v.brightness;
            (*trace)[i].chroma = v.blank;
        }
    }
    // Nothing convincing, or only something small and darker than around it
    // (perhaps a picture on a sheet whose edges are faint): a sheet on a
    // desk of its own shade, found from its print outwards. It wins over
    // nothing, and over a smaller outline inside it that leaves print
    // outside (a page holds all its print).
    bool useContent = false;
    Quad fromContent;
    if (!tracked && !quick
        && (!accepted
            || (scored[winner].second.area < kSmallArea && brightnessOverAround(grey, scored[winner].first) < kStandsOut))) {
        const bool printed = outlineFromPrint();
        const ContentOutliner::Evidence& e = printEvidence;
        fromContent = fromPrint;
        const bool found = printed && paper.judge(fromContent).likeness >= PaperJudge::kPaper
            && !labelOn(fromContent, static_cast<float>(std::abs(quad_geometry::signedArea(fromContent)) / planes.total()))
            && !paper.printIsOneNet(fromContent);
        // A sheet with a printed band (a card): the print leads to the band's
        // edge, or past it to most of the sheet, and the band is the small
        // outline; the outline around both is the sheet.
        Quad joined;
        bool around = accepted && encloses(fromContent, scored[winner].first);
        if (found && accepted && !around
            && (CandidateFinder::unionOf(fromContent, scored[winner].first, planes.size(), &joined)
                || CandidateFinder::coverOf(fromContent, scored[winner].first, planes.size(), &joined))) {
            fromContent = joined;
            around = true;
        }
        const auto areaOf = [](const Quad& q) { return std::abs(quad_geometry::signedArea(q)); };
        // Edges seen clearly all round may extend the outline by less.
        const bool clear = e.weakestStep >= kContentClearStep && e.weakestSupport >= kContentClearSupport;
        const float overArea = clear ? kContentClearOverArea : kContentOverArea;
        useContent = found
            && (!accepted
                || (around && !encloses(scored[winner].first, e.print)
                    && areaOf(fromContent) >= overArea * areaOf(scored[winner].first)));
    }
    if (!accepted && !useContent)
        return false;

    Quad quad = useContent ? fromContent : scored[winner].first;
    if (factor > 1) {
        quad = quad_geometry::scaledUp(quad, factor);
        // Fitted again at full size, the faint edges the print led to
        // included: the fitting keeps a side it cannot see where it was.
        const EdgeSampler full(rgb, true);
        Quad refined = quad;
        if (SideRefiner(full, factor + 2, 3.0f).refine(&refined)) {
            quad = refined;
            if (SideRefiner(full, 3, 3.0f).refine(&refined))
                quad = refined;
        }
    }
    result->quad = quad_geometry::ordered(quad);
    result->score = useContent ? kAcceptScore : scored[winner].second.total;
    return true;
}
