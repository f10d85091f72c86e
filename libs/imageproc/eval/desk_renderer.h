#ifndef TAVIK_IMAGEPROC_EVAL_DESK_RENDERER_H
#define TAVIK_IMAGEPROC_EVAL_DESK_RENDERER_H

#include "scene_random.h"

#include <opencv2/core.hpp>

// Draws the surface a document lies on. Used by the scene generator only.
class DeskRenderer {
public:
    enum class Kind { Dark, Wood, Fabric, Grey, Clutter, White };

    static const char* name(Kind kind);

    // A desk of `size` (RGB). For Kind::White, `paper` is the page's colour
    // and the desk stays within a few grey levels of it.
    static cv::Mat render(Kind kind, cv::Size size, cv::Scalar paper, SceneRandom& rng);

    // Loose objects for a cluttered desk: pens, coins, sticky notes, cables;
    // each well under a page's size.
    static void scatterObjects(cv::Mat& desk, int count, SceneRandom& rng);
};

#endif
