#include "document_detector.h"

#include "candidate_finder.h"
#include "candidate_scorer.h"
#include "edge_sampler.h"
#include "side_refiner.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace {

// Longest side of the picture proposals are made on.
constexpr int kWorkSide = 400;
// Lowest score taken as a page; set on the development scenes.
constexpr float kAcceptScore = 0.62f;
constexpr float kAcceptMinSupport = 0.3f;

cv::Mat downscaled(const cv::Mat& rgb, int factor)
{
    if (factor == 1)
        return rgb;
    const int w = rgb.cols / factor, h = rgb.rows / factor;
    cv::Mat small;
    // Integer factors take OpenCV's fast area path.
    cv::resize(rgb(cv::Rect(0, 0, w * factor, h * factor)), small, cv::Size(w, h), 0, 0,
               cv::INTER_AREA);
    return small;
}

} // namespace

int DocumentDetector::workFactor(cv::Size size)
{
    return std::max(1, std::max(size.width, size.height) / kWorkSide);
}

bool DocumentDetector::find(const cv::Mat& rgb, Result* result)
{
    if (rgb.empty() || rgb.type() != CV_8UC3 || rgb.cols < 16 || rgb.rows < 16)
        return false;
    const int factor = workFactor(rgb.size());
    const cv::Mat small = downscaled(rgb, factor);

    cv::Mat grey, sat;
    EdgeSampler::makePlanes(small, &grey, &sat);
    // Closing lifts dark strokes to the paper's level, so text does not
    // break the page into fragments; smoothing then tames noise and JPEG
    // blocks.
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(5, 5));
    cv::morphologyEx(grey, grey, cv::MORPH_CLOSE, kernel);
    cv::GaussianBlur(grey, grey, cv::Size(5, 5), 0);
    cv::GaussianBlur(sat, sat, cv::Size(5, 5), 0);

    const std::vector<Quad> candidates = CandidateFinder(grey, sat).find();
    const EdgeSampler sampler(grey, sat);
    const SideRefiner refiner(sampler, 4, 4.0f);
    const CandidateScorer scorer(sampler);
    CandidateScorer::Score best;
    Quad bestQuad;
    for (const Quad& c : candidates) {
        // A second pass follows sides the first one lengthened (a corner
        // beyond the frame edge).
        Quad q = c;
        if (!refiner.refine(&q))
            q = c;
        Quad again = q;
        if (refiner.refine(&again))
            q = again;
        const CandidateScorer::Score s = scorer.score(q);
        if (s.total > best.total) {
            best = s;
            bestQuad = q;
        }
    }
    if (best.total < kAcceptScore || best.minSupport < kAcceptMinSupport)
        return false;

    Quad quad = bestQuad;
    if (factor > 1) {
        quad = quad_geometry::scaledUp(quad, factor);
        cv::Mat fullGrey, fullSat;
        EdgeSampler::makePlanes(rgb, &fullGrey, &fullSat);
        const EdgeSampler full(fullGrey, fullSat);
        Quad refined = quad;
        if (SideRefiner(full, factor + 2, 3.0f).refine(&refined)) {
            quad = refined;
            if (SideRefiner(full, 3, 3.0f).refine(&refined))
                quad = refined;
        }
    }
    result->quad = quad_geometry::ordered(quad);
    result->score = best.total;
    return true;
}
