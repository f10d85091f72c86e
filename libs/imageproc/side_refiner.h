#ifndef TAVIK_IMAGEPROC_SIDE_REFINER_H
#define TAVIK_IMAGEPROC_SIDE_REFINER_H

#include "edge_sampler.h"
#include "quad.h"

// Moves each side of an approximate outline onto the strongest brightness or
// saturation step nearby and fits it as a straight line, so that corners come
// from line intersections rather than from polygon vertices (which text,
// fingers and blur pull away). Runs on the caller's thread; no state.
class SideRefiner {
public:
    // `searchRadius`: how far (pixels) a side may move; `minStep`: weakest
    // step (grey levels) taken as edge evidence.
    SideRefiner(const EdgeSampler& sampler, int searchRadius, float minStep);

    // Refines q (ordered as Quad) in place. Sides without enough evidence
    // (off the picture, or too faint) keep their line. False if the refined
    // outline degenerates (non-convex, corners far outside the picture).
    bool refine(Quad* q) const;

private:
    bool fitSide(cv::Point2f a, cv::Point2f b, Line2* line) const;

    const EdgeSampler& m_sampler;
    int m_radius;
    float m_minStep;
};

#endif
