#ifndef TAVIK_IMAGEPROC_EVAL_GLYPH_PAINTER_H
#define TAVIK_IMAGEPROC_EVAL_GLYPH_PAINTER_H

#include "scene_random.h"

#include <opencv2/core.hpp>

// Draws characters in the manner of Chinese script: square cells of thin
// horizontal, vertical and falling strokes, dots and small boxes, the kind
// of print that breaks first when a page is thresholded. Used by the
// enhancement scenes only; runs on the caller's thread.
class GlyphPainter {
public:
    // One character filling the square cell at `corner` of side `size`.
    static void character(cv::Mat& page, cv::Point corner, int size, cv::Scalar ink, SceneRandom& rng);

    // Lines of characters of side `size` filling `area`.
    static void text(cv::Mat& page, cv::Rect area, int size, cv::Scalar ink, SceneRandom& rng);

    // Stroke width for characters of side `size`.
    static int strokeWidth(int size);
};

#endif
