#ifndef TAVIK_IMAGEPROC_EVAL_SEAL_PAINTER_H
#define TAVIK_IMAGEPROC_EVAL_SEAL_PAINTER_H

#include "scene_random.h"

#include <opencv2/core.hpp>

// Stamps a round red seal onto a page: a ring, a five-pointed star and a
// ring of characters, in an ink that lets the paper show through (it
// multiplies the page). Used by the enhancement scenes only; runs on the
// caller's thread.
class SealPainter {
public:
    // A seal's ink: red with a little green and blue, at random.
    static cv::Scalar randomInk(SceneRandom& rng);

    // Stamps a seal of `radius` at `centre` in `ink` onto `page` (CV_8UC3).
    // `coverage` (CV_8U, the page's size) receives the seal's ink cover,
    // 0..255, so that the caller knows where the seal's colour is solid.
    static void stamp(cv::Mat& page, cv::Mat& coverage, cv::Point centre, int radius, cv::Scalar ink,
                      SceneRandom& rng);
};

#endif
