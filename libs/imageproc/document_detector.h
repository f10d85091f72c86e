#ifndef TAVIK_IMAGEPROC_DOCUMENT_DETECTOR_H
#define TAVIK_IMAGEPROC_DOCUMENT_DETECTOR_H

#include "candidate_scorer.h"
#include "paper_judge.h"
#include "quad.h"

#include <opencv2/core.hpp>

#include <vector>

// Finds the page in a camera picture. Proposals and scoring run on a copy
// downscaled by an integer factor to about 400 pixels; the chosen outline's
// sides are then fitted again at the picture's own resolution. Runs on the
// caller's thread and keeps no state, so results are reproducible.
class DocumentDetector {
public:
    struct Result {
        Quad quad;           // in pixels of the given picture, ordered as Quad
        float score = 0;     // the winning candidate's score
    };

    // One proposal as judged at the work scale (for the evaluation tool).
    struct Trace {
        Quad proposed, refined;
        CandidateScorer::Score score;
        PaperJudge::Verdict paper;  // how much its inside looks like paper
        bool picked = false;        // the search's own pick, before the paper is judged
        bool chosen = false;        // the outline returned (unless the print's outline was)
    };

    // `rgb`: packed RGB888 (CV_8UC3, any stride). False when no outline is
    // convincing enough to be a page. With `trace`, every proposal is
    // reported there (work-scale pixels). With `hint` (an outline found in
    // the previous preview frame) that outline is checked first and, if it
    // still fits the picture well, kept without a new search.
    // With `quick`, proposals are made on a smaller copy and only from the
    // contours (no line or print sources): a fraction of the cost, for
    // preview frames, missing some faint pages that a full search finds.
    static bool find(const cv::Mat& rgb, Result* result, std::vector<Trace>* trace = nullptr,
                     const Quad* hint = nullptr, bool quick = false);

    // The integer downscale factor used for a picture of this size.
    static int workFactor(cv::Size size, bool quick = false);
};

#endif
