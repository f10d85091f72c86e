#include "document_detector.h"

#include "candidate_finder.h"
#include "card_band.h"
#include "card_by_tint.h"
#include "candidate_scorer.h"
#include "content_outliner.h"
#include "desk_tint.h"
#include "edge_sampler.h"
#include "page_grower.h"
#include "page_referee.h"
#include "paper_judge.h"
#include "sheet_on_sheet.h"
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
constexpr float kAcceptScore = CandidateScorer::kAcceptScore;
constexpr float kAcceptMinSupport = CandidateScorer::kAcceptMinSupport;
// Below this share of the picture, a convincing outline may still be a
// picture on a page whose own edges are faint...
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
// levels on every side, agreed by this share of the side's samples; where
// nothing else convinced, a little less will do.
constexpr float kContentMinStep = 1.3f;
constexpr float kContentMinSupport = 0.55f;
constexpr float kContentAloneStep = 1.2f;
constexpr float kContentAloneSupport = 0.5f;
// ...and it replaces a convincing outline only when this much larger (the
// outline was a picture on the page, not the page itself).
constexpr float kContentOverArea = 1.5f;
constexpr float kContentClearStep = 3.0f;
constexpr float kContentClearSupport = 0.85f;
constexpr float kContentClearOverArea = 1.1f;
// The outline from the print taken as the last resort, where nothing else
// is, must be this large: small print on a desk is a label on a box.
constexpr float kLastResortMinArea = 0.1f;
// ...and with a side not seen at all (placed by the margin opposite), the
// seen ones show on this share of their length at least: print on desk
// objects (keys, a book's title) leads to edges seen only in part.
constexpr float kInferredMinSupport = 0.55f;
// A page found from its print alone carries print on this share of its
// outline at least; letters on keys or on a book's cover are sparse.
constexpr float kPrintedInk = 0.03f;
// A sheet's side found along a row of its print (the row's edge is
// straighter than the faint paper edge beyond): where the print reaches
// this share of the picture's diagonal past the pick, the outline from the
// print replaces it when only this much larger.
constexpr float kCutPrintReach = 0.01f;
constexpr float kCutPrintOverArea = 1.05f;
// A page cut out of an outline around the pick replaces it when this much
// larger.
constexpr float kTopOverPick = 1.1f;
// Proposals judged in full per source.
constexpr size_t kJudged = 8;

cv::Mat downscaled(const cv::Mat& rgb, int factor)
{
    if (factor == 1)
        return rgb;
    const int w = rgb.cols / factor, h = rgb.rows / factor;
    const cv::Mat whole = rgb(cv::Rect(0, 0, w * factor, h * factor));
    cv::Mat small;
    if (factor % 2 == 0) {
        // Halving takes OpenCV's vectorised area path, other factors its
        // plain one, several times slower: halve first.
        cv::resize(whole, small, cv::Size(whole.cols / 2, whole.rows / 2), 0, 0, cv::INTER_AREA);
        return downscaled(small, factor / 2);
    }
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

// How much brighter the inside of an outline is than a ring just around it
// (grey levels): a sheet on a darker desk stands well out, a box printed on
// a sheet on a desk of the sheet's own shade hardly.
double brightnessOverAround(const cv::Mat& grey, const Quad& q)
{
    const Quad around = quad_geometry::grown(q, 1.15f);
    std::vector<cv::Point> inner, outer;
    for (int i = 0; i < 4; ++i) {
        inner.emplace_back(cvRound(q.p[i].x), cvRound(q.p[i].y));
        outer.emplace_back(cvRound(around.p[i].x), cvRound(around.p[i].y));
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
            trace->push_back(Trace{c, q, scored.back().second, PaperJudge::Verdict(), false, false});
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
    const auto judgeBest = [&](const std::vector<Quad>& proposals) {
        ranked.clear();
        for (const Quad& c : proposals)
            ranked.emplace_back(scorer.rank(c), c);
        std::stable_sort(ranked.begin(), ranked.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
        for (size_t i = 0; i < ranked.size() && i < kJudged; ++i)
            judge(ranked[i].second);
    };
    judgeBest(candidates);
    // A small outline may be a picture on a page whose own edges are faint,
    // unless it is well brighter than around it: a sheet on a darker desk.
    const auto pageBySize = [&](const Quad& q, const CandidateScorer::Score& s) {
        return s.area >= kSmallArea || brightnessOverAround(grey, q) >= kStandsOut;
    };
    // Nothing convincing from the contours, or only something that may be
    // such a picture: try the line source, ranking its many proposals
    // cheaply before the full judgement. A tracked outline and the quick
    // search go no further than the contours.
    const bool convinced = tracked || quick || std::any_of(scored.begin(), scored.end(), [&](const auto& s) {
        return s.second.total >= kAcceptScore && s.second.minSupport >= kAcceptMinSupport
            && pageBySize(s.first, s.second);
    });
    // The outline found from the print outwards, worked out at most once.
    bool printTried = false, printFound = false;
    Quad fromPrint;
    ContentOutliner::Evidence printEvidence;
    const auto outlineFromPrint = [&]() {
        if (!printTried) {
            printTried = true;
            printFound = ContentOutliner(grey).propose(&fromPrint, &printEvidence)
                && printEvidence.weakestStep >= kContentAloneStep
                && printEvidence.weakestSupport >= kContentAloneSupport;
        }
        return printFound;
    };
    // Nothing convincing at all, but a sheet whose edges the print led to
    // clearly all round (white on white): the lines would find no more.
    const bool anyConvincing = std::any_of(scored.begin(), scored.end(), [](const auto& s) {
        return s.second.total >= kAcceptScore && s.second.minSupport >= kAcceptMinSupport;
    });
    const bool clearFromPrint = !convinced && !anyConvincing && outlineFromPrint() && !printEvidence.inferred
        && printEvidence.weakestStep >= kContentClearStep && printEvidence.weakestSupport >= kContentClearSupport;
    if (!convinced && !clearFromPrint) {
        std::vector<Quad> judged;
        for (const auto& s : scored) {
            if (s.second.total >= kAcceptScore && s.second.minSupport >= kAcceptMinSupport)
                judged.push_back(s.first);
        }
        // With a small convincing outline already, only outlines around it
        // (its page) are of interest.
        ranked.clear();
        const std::vector<Quad> lineQuads = CandidateFinder(planes, sat).findFromLines(judged);
        for (const Quad& q : lineQuads) {
            const bool aroundAll = std::all_of(judged.begin(), judged.end(),
                                               [&q](const Quad& j) { return quad_geometry::encloses(q, j); });
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
    const PaperJudge paper(closedGrey, grey, sat);
    const PageReferee referee(paper, planes, quick);
    // The most convincing outline of paper may be only part of the page:
    // propose it grown as far as the paper goes on.
    if (!tracked && !quick) {
        size_t best = scored.size();
        for (size_t i = 0; i < scored.size(); ++i) {
            if (CandidateScorer::convincing(scored[i].second)
                && (best == scored.size() || scored[i].second.total > scored[best].second.total))
                best = i;
        }
        if (best < scored.size() && paper.judge(scored[best].first).likeness >= PaperJudge::kPaper) {
            for (const Quad& g : PageGrower(closedGrey, sat, paper.brightest()).grown(scored[best].first))
                judge(g);
        }
    }
    size_t winner = scored.size();
    for (size_t i = 0; i < scored.size(); ++i) {
        if (winner == scored.size() || scored[i].second.total > scored[winner].second.total)
            winner = i;
    }
    if (winner < scored.size()) {
        // A page's pictures and tables are rectangles too: an outline around
        // the best one that is nearly as convincing is the page itself.
        for (size_t i = 0; i < scored.size(); ++i) {
            // Around a page lying on a book or a folder lies no paper: that
            // outline is the book's (but around a card's white part lies
            // its printed band).
            if (CandidateScorer::aroundNearlyAsWell(scored[i].first, scored[i].second, scored[winner].first,
                                                    scored[winner].second, planes.size())
                && !referee.sheetBeside(scored[i].first, scored[winner].first)
                && (!referee.rimPlainlyNotPaper(scored[i].first, scored[winner].first)
                    || (CardBand::cardShaped(scored[i].first, planes.size())
                        && !CardBand::cardShaped(scored[winner].first, planes.size()))))
                winner = i;
        }
    }
    const auto areaOf = [](const Quad& q) { return std::abs(quad_geometry::signedArea(q)); };
    bool accepted = winner < scored.size() && scored[winner].second.total >= kAcceptScore
        && scored[winner].second.minSupport >= kAcceptMinSupport;
    // Nothing convincing, or only something that may be a picture on a
    // sheet whose edges are faint: a sheet on a desk of its own shade,
    // found from its print outwards. It wins over nothing, and over a
    // smaller outline inside it that leaves print outside (a page holds all
    // its print).
    bool useContent = false;
    Quad fromContent;
    if (!tracked && !quick
        && (!accepted
            || !pageBySize(scored[winner].first, scored[winner].second))) {
        const ContentOutliner::Evidence& e = printEvidence;
        // An outline with a side not seen is the last resort, further down.
        const bool found = outlineFromPrint() && !e.inferred
            && (!accepted || (e.weakestStep >= kContentMinStep && e.weakestSupport >= kContentMinSupport));
        fromContent = fromPrint;
        // A sheet with a printed band (a card): the print leads to the band's
        // edge, or past it to most of the sheet, and the band is the small
        // outline; the outline around both is the sheet.
        Quad joined;
        bool around = accepted && quad_geometry::encloses(fromContent, scored[winner].first);
        if (found && accepted && !around
            && (CandidateFinder::unionOf(fromContent, scored[winner].first, planes.size(), &joined)
                || CandidateFinder::coverOf(fromContent, scored[winner].first, planes.size(), &joined))) {
            fromContent = joined;
            around = true;
        }
        // Edges seen clearly all round may extend the outline by less, and
        // so may print running on past the side of a pick that is paper.
        const bool clear = e.weakestStep >= kContentClearStep && e.weakestSupport >= kContentClearSupport;
        const bool cutsPrint = found && around
            && quad_geometry::reachBeyond(scored[winner].first, e.print)
                > kCutPrintReach * std::hypot(planes.cols, planes.rows)
            && paper.judge(scored[winner].first).likeness >= PaperJudge::kPaper;
        const float overArea = cutsPrint ? kCutPrintOverArea : clear ? kContentClearOverArea : kContentOverArea;
        useContent = found
            && (accepted ? around && !quad_geometry::encloses(scored[winner].first, e.print)
                       && areaOf(fromContent) >= overArea * areaOf(scored[winner].first)
                         : paper.judge(fromContent).ink >= kPrintedInk);
    }
    // The page wins because it is paper: the search's pick stands unless it
    // is plainly no paper (a folder, a box, a book cover, a phone) or a
    // label on a folder. Then
    // more proposals are made for a crowded desk, and the outline that looks
    // most like paper is the page; with none, a card alone on the desk; else
    // nothing. An outline tracked from the previous frame was judged so
    // when it was found.
    const size_t picked = accepted && !useContent ? winner : scored.size();
    if ((accepted || useContent) && !tracked && referee.overrules(scored, useContent ? fromContent : scored[winner].first)) {
        if (!quick)
            judgeBest(CandidateFinder(planes, sat).findOnCrowdedDesk());
        const size_t page = referee.choosePaper(scored);
        const bool card = referee.isCard(scored, useContent ? fromContent : scored[winner].first);
        if (page < scored.size()) {
            winner = page;
            accepted = true;
            useContent = false;
        } else if (!card) {
            accepted = useContent = false;
        }
    } else if (accepted && !useContent && !tracked) {
        winner = referee.largerSheet(scored, winner);
    } else if (!accepted && !useContent && !tracked && !quick) {
        // Nothing convinced: a page among things on the desk (a folder under
        // it, its side along the folder's) may show whole only to the
        // crowded desk's proposals; it must pass as paper.
        // With none, a card alone whose sides show whole only there (a
        // grained desk breaks them up for the contours).
        judgeBest(CandidateFinder(planes, sat).findOnCrowdedDesk());
        size_t page = referee.choosePaper(scored);
        if (page == scored.size())
            page = referee.bestCard(scored);
        if (page < scored.size()) {
            winner = page;
            accepted = true;
        }
    }
    // Only a full search looks further; both stages below read the desk's
    // tint along the picture's border.
    if (!useContent && !tracked && !quick) {
        const DeskTint tint(planes);
        // Nothing on the desk is paper, and no outline was a card: a
        // coloured card on a grained desk may show its colour better than
        // its edges.
        Quad patch;
        if (!accepted && CardByTint(tint).propose(&patch)) {
            judge(patch);
            if (CandidateScorer::convincing(scored.back().second) && referee.isCard(scored, scored.back().first)) {
                winner = scored.size() - 1;
                accepted = true;
            }
        }
        // A page lying partly over a second sheet: the pick may be the
        // outline around both, the page's rim across the other sheet being
        // no step. Its sides may all show well (the other sheet's edges over
        // the desk), so every pick is looked at. Where nothing convinced, the
        // best outline may be the page with its side across the other sheet
        // faint, or both sheets with their meeting: if it is paper, it is
        // looked at too, and what comes out must pass as paper.
        const bool sheetLike = accepted
            || (winner < scored.size() && paper.judge(scored[winner].first).likeness >= PaperJudge::kPaper);
        const SheetOnSheet sheets(closedGrey, grey, planes, paper.brightest(), tint);
        const auto take = [&](const Quad& top) {
            accepted = true;
            scored.emplace_back(top, scorer.score(top));
            if (trace)
                trace->push_back(Trace{top, top, scored.back().second, PaperJudge::Verdict(), false, false});
            winner = scored.size() - 1;
        };
        Quad top;
        if (sheetLike && sheets.topSheet(scored[winner].first, &top) && (accepted || !referee.overrules(scored, top)))
            take(top);
        // Of two sheets apart, the larger whole one is the page: a larger
        // outline of paper that did not convince may be a page over a third
        // sheet, or the outline around both.
        const size_t larger
            = accepted ? referee.largerPaper(scored, winner, PageReferee::Placement::Apart) : scored.size();
        if (larger < scored.size() && sheets.topSheet(scored[larger].first, &top)
            && areaOf(top) > areaOf(scored[winner].first) && !referee.overrules(scored, top)) {
            take(top);
        } else {
            // The pick may be part of the page, cut short along a row of its
            // print where its side across a second sheet is faint: a larger
            // outline of paper around the pick may hold the page whole.
            const size_t around
                = accepted ? referee.largerPaper(scored, winner, PageReferee::Placement::Around) : scored.size();
            if (around < scored.size() && sheets.topSheet(scored[around].first, &top)
                && areaOf(top) > kTopOverPick * areaOf(scored[winner].first)
                && !referee.overrules(scored, top))
                take(top);
        }
    }
    // The white part of a card printed with a band: the card is the
    // outline with its band.
    if (accepted && !useContent && !tracked) {
        const CardBand::Judge fitted = [&](const Quad& c) {
            Quad q = c;
            if (!fine.refine(&q))
                q = c;
            return std::make_pair(q, scorer.score(q));
        };
        Quad banded;
        CandidateScorer::Score bandedScore;
        if (CardBand(paper, planes.size(), fitted).extend(scored[winner].first, scored[winner].second, &banded, &bandedScore)) {
            scored.emplace_back(banded, bandedScore);
            if (trace)
                trace->push_back(Trace{banded, banded, bandedScore, PaperJudge::Verdict(), false, false});
            winner = scored.size() - 1;
        }
    }
    if (trace) {
        for (size_t i = 0; i < scored.size() && i < trace->size(); ++i) {
            Trace& t = (*trace)[trace->size() - scored.size() + i];
            t.paper = paper.judge(scored[i].first);
            t.picked = i == picked;
            t.chosen = accepted && !useContent && i == winner;
        }
    }
    // Still nothing: a sheet on a desk of its own shade found from its print
    // (the search's pick overruled as no paper, or one side of the sheet
    // not seen at all), if it is paper and page-sized.
    if (!accepted && !useContent && !tracked && !quick && outlineFromPrint()
        && areaOf(fromPrint) >= kLastResortMinArea * static_cast<double>(planes.total())
        && (!printEvidence.inferred || printEvidence.weakestSupport >= kInferredMinSupport)) {
        const PaperJudge::Verdict verdict = paper.judge(fromPrint);
        if (verdict.likeness >= PaperJudge::kPaper && verdict.ink >= kPrintedInk
            && !referee.overrules(scored, fromPrint)) {
            useContent = true;
            fromContent = fromPrint;
        }
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
