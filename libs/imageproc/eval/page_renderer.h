#ifndef TAVIK_IMAGEPROC_EVAL_PAGE_RENDERER_H
#define TAVIK_IMAGEPROC_EVAL_PAGE_RENDERER_H

#include "scene_random.h"

#include <opencv2/core.hpp>

#include <string>

// Draws the flat face of a document: a tinted sheet with text, tables and
// pictures, a receipt or a card. Used by the scene generator only.
class PageRenderer {
public:
    // BankCard and IdCard (landscape, coloured all over) are never picked at
    // random: they lie alone on a desk.
    enum class Kind { A4, Letter, A5, Receipt, Card, BankCard, IdCard };

    static Kind randomKind(SceneRandom& rng);
    static const char* name(Kind kind);

    // Height / width of the kind (portrait).
    static double aspect(Kind kind, SceneRandom& rng);

    // A sheet of `size` pixels (RGB) in the colour `paper`.
    static cv::Mat render(Kind kind, cv::Size size, cv::Scalar paper, SceneRandom& rng);

    // A random paper colour (RGB): white, cream, grey, bluish or a light tint.
    static cv::Scalar paperTint(SceneRandom& rng);
};

#endif
