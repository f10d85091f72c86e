#ifndef TAVIK_IMAGEPROC_EVAL_LIBRARY_DETECTOR_H
#define TAVIK_IMAGEPROC_EVAL_LIBRARY_DETECTOR_H

#include "imageproc.h"
#include "quad.h"

#include <opencv2/core.hpp>

// The detector as applications see it: the library's corner export, which
// runs the photo path's full-resolution search. Caller's thread.
inline bool findWithLibrary(const cv::Mat& rgb, Quad* found)
{
    float c[8];
    if (ImageProc_FindDocument(rgb.ptr<unsigned char>(), rgb.cols, static_cast<int>(rgb.step[0]), rgb.rows, c) != 1)
        return false;
    for (int i = 0; i < 4; ++i)
        found->p[i] = cv::Point2f(c[2 * i], c[2 * i + 1]);
    return true;
}

#endif
