#ifndef TAVIK_IMAGEPROC_PAGE_WARPER_H
#define TAVIK_IMAGEPROC_PAGE_WARPER_H

#include "quad.h"

#include <opencv2/core.hpp>

// Turns a page seen in perspective into a flat, straight picture of the page
// in its own proportions. Runs on the caller's thread; no state.
class PageWarper {
public:
    // Width / height of the page itself, estimated from its outline in a
    // picture of `size` (camera axis through the picture centre). Falls back
    // to the mean lengths of opposite sides when the perspective is too weak
    // to tell the focal length.
    static double aspectRatio(const Quad& q, cv::Size size);
    // A width over height as long side over short side, whichever way up
    // the page lies.
    static double longOverShort(double widthOverHeight);

    // The straightened page (CV_8UC3); empty on failure. Its longer side
    // keeps the resolution the page had in the picture, at most
    // `maxPixels` pixels in all.
    static cv::Mat straighten(const cv::Mat& rgb, const Quad& q, long long maxPixels);
};

#endif
