#ifndef TAVIK_IMAGEPROC_PAGE_FLATTENER_H
#define TAVIK_IMAGEPROC_PAGE_FLATTENER_H

#include "illumination_estimator.h"

#include <opencv2/core.hpp>

// Divides a photographed page by its paper map and maps the tones as a
// scanner would: paper to white, ink to black, along a smooth curve so that
// the edges of letters stay smooth. The white point sits a few noise levels
// below the paper (measured on the photo itself, in grey levels, so that it
// is as strict in a shadow as in the light): no grain is left on the paper.
// Colour survives where it is clearly there (stamps, pictures); the faint
// casts around print and the grain in ink become grey. Runs on the caller's
// thread; no state. Every buffer is taken before the first pixel is
// written, so an exception leaves the picture as it was.
class PageFlattener {
public:
    // `rgb` (CV_8UC3) in place, in colour.
    static void toColour(cv::Mat& rgb, const IlluminationEstimator::Map& map);

    // The flattened page in grey levels (CV_8U); `rgb` is not changed.
    // `linear`: grey straight from black to white without the curve, for
    // thresholding half way between ink and paper.
    static cv::Mat toGrey(const cv::Mat& rgb, const IlluminationEstimator::Map& map, bool linear = false);
};

#endif
