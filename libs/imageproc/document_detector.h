#ifndef TAVIK_IMAGEPROC_DOCUMENT_DETECTOR_H
#define TAVIK_IMAGEPROC_DOCUMENT_DETECTOR_H

#include "quad.h"

#include <opencv2/core.hpp>

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

    // `rgb`: packed RGB888 (CV_8UC3, any stride). False when no outline is
    // convincing enough to be a page.
    static bool find(const cv::Mat& rgb, Result* result);

    // The integer downscale factor used for a picture of this size.
    static int workFactor(cv::Size size);
};

#endif
