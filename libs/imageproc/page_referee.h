#ifndef TAVIK_IMAGEPROC_PAGE_REFEREE_H
#define TAVIK_IMAGEPROC_PAGE_REFEREE_H

#include "candidate_scorer.h"
#include "paper_judge.h"
#include "quad.h"

#include <opencv2/core.hpp>

#include <utility>
#include <vector>

// Settles which outline on the desk is the page once the search has picked
// its most convincing one. The search's pick stands unless its inside is
// plainly no paper: saturated (a folder, a box, a bank card) or dark (a
// book cover, a phone, a keyboard). Then the page is the best outline that
// looks like paper (bright, nearly colourless, some of it blank), not a
// label on a larger outline, not a keyboard's keys; or, with none, a card
// alone on the desk; or nothing. Works on the search's reduced picture.
// Runs on the caller's thread; borrows the judge for its life.
class PageReferee {
public:
    using Judged = std::vector<std::pair<Quad, CandidateScorer::Score>>;

    // `planes`: the search's picture (level and two colour planes), borrowed
    // for the referee's life. `quick`: the preview's quick search, on a
    // smaller picture.
    PageReferee(const PaperJudge& paper, const cv::Mat& planes, bool quick);

    // Whether the search's pick is no page: plainly not paper however well
    // its edges show, or a label on something larger that is not paper.
    bool overrules(const Judged& judged, const Quad& picked) const;

    // Whether the part of `outer` around `inner` is plainly not paper (the
    // book or the folder a page lies on).
    bool rimPlainlyNotPaper(const Quad& outer, const Quad& inner) const;

    // Whether `outer` is the paper sheet `inner` plus another sheet beside
    // or under it: the two meet at one corner or three (a page's print
    // keeps margins all round; a page cut short along a row of its print
    // shares two) and paper lies between them.
    bool sheetBeside(const Quad& outer, const Quad& inner) const;

    // Of the outlines judged, the index of the page among those that look
    // like paper; `judged.size()` when none does.
    size_t choosePaper(const Judged& judged) const;

    // Of two sheets apart on the desk, the larger whole one is the page (the
    // nearer the centre when they are alike): the index of the page, given
    // the search's pick among the outlines judged.
    size_t largerSheet(const Judged& judged, size_t picked) const;

    // The best outline of paper larger than the pick that did not convince,
    // lying apart from it (a page whose side across another sheet is faint,
    // or the outline around both) or around it (the pick being the page cut
    // short along a line of its print, its side across a second sheet
    // faint); judged.size() when there is none.
    enum class Placement { Apart, Around };
    size_t largerPaper(const Judged& judged, size_t picked, Placement placement) const;

    // Whether `q` is a card lying alone: a card's proportions and size
    // under a camera framed for pages, all four sides in the picture, print,
    // no other convincing outline apart from it, and little else on the
    // desk of another tint than the desk's.
    bool isCard(const Judged& judged, const Quad& q) const;

    // Of the convincing outlines judged, the index of the most convincing
    // that is a card lying alone; `judged.size()` when none is.
    size_t bestCard(const Judged& judged) const;

private:
    // `v`: the paper judge's verdict on q.
    bool plainlyNotPaper(const Quad& q, const PaperJudge::Verdict& v) const;
    bool keysBlock(const Quad& q, const PaperJudge::Verdict& v) const;
    // Share of the picture q covers.
    double shareOfPicture(const Quad& q) const;
    bool cardShaped(const Quad& q) const;
    bool convincing(const CandidateScorer::Score& s) const;
    bool pageLike(const Quad& q) const;
    // Whether judged[i] looks like paper and is no label; its verdict in
    // `verdict` when given.
    bool paperNoLabel(const Judged& judged, size_t i, PaperJudge::Verdict* verdict = nullptr) const;
    bool rimIsPaper(const Quad& outer, const Quad& inner) const;
    bool labelOnSomething(const Judged& judged, const Quad& q, float area, const PaperJudge::Verdict& v) const;
    bool ofDeskColour(const Quad& rim, const Quad& q) const;
    cv::Vec2f deskColour() const;
    // Share of the picture away from q of another tint than the desk's.
    float otherTint(const Quad& q) const;

    const PaperJudge& m_paper;
    const cv::Mat& m_planes;
    cv::Size m_size;
    bool m_quick;
    mutable bool m_deskKnown = false;   // m_desk measured (lazily: few searches need it)
    mutable cv::Vec2f m_desk;
};

#endif
