#ifndef TAVIK_IMAGEPROC_CANDIDATE_SCORER_H
#define TAVIK_IMAGEPROC_CANDIDATE_SCORER_H

#include "edge_sampler.h"
#include "quad.h"

// How much a proposed outline looks like a sheet of paper: steps along each
// side, consistent contrast across it, shape (angles, proportions) and size.
// Runs on the caller's thread; no state.
class CandidateScorer {
public:
    struct Score {
        float support = 0;     // mean share of side samples on a consistent step
        float minSupport = 0;  // the weakest side's share
        float contrast = 0;    // mean step across the sides (grey levels)
        float area = 0;        // share of the picture covered
        float total = 0;       // combined; 0 when the shape is implausible
    };

    // `minStep`: weakest step (plane levels, after smoothing) counted as
    // evidence of an edge; set from the picture's noise.
    CandidateScorer(const EdgeSampler& sampler, float minStep);

    Score score(const Quad& q) const;

    // Lowest score taken as a page (set on the development scenes), and the
    // weakest side it may have.
    static constexpr float kAcceptScore = 0.62f;
    static constexpr float kAcceptMinSupport = 0.3f;
    static bool convincing(const Score& s) { return s.total >= kAcceptScore && s.minSupport >= kAcceptMinSupport; }

    // Whether `outer`, larger and around `inner`, scores nearly as well: the
    // page around one of its pictures or tables, as far as edges tell. A
    // faint page may score well below its picture; an outline reaching off
    // the frame (`size`) must score nearly as well, its sides seen in part.
    static bool aroundNearlyAsWell(const Quad& outer, const Score& o, const Quad& inner, const Score& i, cv::Size size);

    // The same judgement from fewer samples along each side: a few times
    // cheaper, for ranking many proposals before the full judgement.
    float rank(const Quad& q) const;

private:
    Score judge(const Quad& q, int spacing, int maxSamples) const;
    bool sideSupport(cv::Point2f a, cv::Point2f b, int spacing, int maxSamples, float* support, float* contrast) const;

    const EdgeSampler& m_sampler;
    float m_minStep;
};

#endif
