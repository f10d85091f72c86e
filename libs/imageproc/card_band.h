#ifndef TAVIK_IMAGEPROC_CARD_BAND_H
#define TAVIK_IMAGEPROC_CARD_BAND_H

#include "candidate_scorer.h"
#include "paper_judge.h"
#include "quad.h"

#include <opencv2/core.hpp>

#include <functional>
#include <utility>

// A card printed with a coloured band across one end falls apart into the
// band and the white rest, and the rest alone has no card's proportions.
// Looks beyond each side of such an outline for the band: the side moved
// out until the outline has a card's proportions, fitted to the edge there,
// taken when every side then shows as an edge and the strip added is no
// blank paper. Runs on the caller's thread; no state.
class CardBand {
public:
    // Fits a moved outline to the edges near it and scores it.
    using Judge = std::function<std::pair<Quad, CandidateScorer::Score>(const Quad&)>;

    CardBand(const PaperJudge& paper, cv::Size size, const Judge& judge);

    // With `q` (scoring `score`) the white part of a card, the card with its
    // band in `out`; false when there is none.
    bool extend(const Quad& q, const CandidateScorer::Score& score, Quad* out,
                CandidateScorer::Score* outScore) const;

    // Whether an outline has a card's proportions (85.6 x 54 mm), give or
    // take `slack` (a small picture measures them less well).
    static bool cardShaped(const Quad& q, cv::Size size, float slack = 0);

private:
    const PaperJudge& m_paper;
    cv::Size m_size;
    const Judge& m_judge;
};

#endif
