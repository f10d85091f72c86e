#ifndef TAVIK_IMAGEPROC_PAGE_ENHANCER_H
#define TAVIK_IMAGEPROC_PAGE_ENHANCER_H

#include <opencv2/core.hpp>

// Makes a photographed page look scanned: the light evened out, the paper
// white, the print dark; in colour, in grey levels, or in black and white.
// Runs on the caller's thread; no state, so any number of threads may call
// it at once on different pictures.
class PageEnhancer {
public:
    // The values of imageproc.h's IMAGEPROC_ENHANCE_*.
    enum class Mode { Original = 0, Document = 1, Grey = 2, BlackWhite = 3 };

    // True for the values of Mode.
    static bool known(int mode);

    // `rgb`: CV_8UC3 (packed RGB, any row stride), at least 1 x 1, changed
    // in place. Grey is written as R = G = B, black and white as pixels of
    // exactly 0 or 255 in all three channels. If OpenCV throws (out of
    // memory), the pixels are as they were: they are written only after
    // every buffer is in place.
    static void apply(cv::Mat& rgb, Mode mode);
};

#endif
