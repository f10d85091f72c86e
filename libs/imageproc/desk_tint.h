#ifndef TAVIK_IMAGEPROC_DESK_TINT_H
#define TAVIK_IMAGEPROC_DESK_TINT_H

#include "quad.h"

#include <opencv2/core.hpp>

// The desk's tint, and where the picture shows another. A tint is a
// colour for its brightness, so that the desk in shade keeps its own; it
// is read where most of the picture's border shows the desk. Works on the
// search's reduced planes (see EdgeSampler). Runs on the caller's thread;
// borrows the planes for its life.
class DeskTint {
public:
    explicit DeskTint(const cv::Mat& planes);

    // Share of the picture, away from `q` grown by `clear` (its shadow, a
    // finger on it), that has another tint than the desk's. Read on every
    // other pixel.
    float otherShare(const Quad& q, float clear) const;

    // 255 where the tint is another than the desk's, at a `step`th of the
    // planes' size.
    cv::Mat otherMask(int step) const;

    // Whether planes `p` show another tint than the desk's.
    bool other(const cv::Vec3b& p) const;

private:
    const cv::Mat& m_planes;
    cv::Vec2f m_desk;
};

#endif
