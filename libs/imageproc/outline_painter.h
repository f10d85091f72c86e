#ifndef TAVIK_IMAGEPROC_OUTLINE_PAINTER_H
#define TAVIK_IMAGEPROC_OUTLINE_PAINTER_H

#include "quad.h"

#include <opencv2/core.hpp>

// Draws a page outline into packed RGB pixels. Runs on the caller's thread.
class OutlinePainter {
public:
    // `colour`: 1 green, 2 red, 3 blue, 4 yellow, anything else green.
    // `thickness`: pixels at a 640-pixel-wide picture, scaled up with
    // larger pictures and clamped to 1..32.
    static void draw(cv::Mat* rgb, const Quad& q, int colour, int thickness);

    static cv::Scalar colourOf(int colour);
};

#endif
