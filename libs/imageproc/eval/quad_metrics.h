#ifndef TAVIK_IMAGEPROC_EVAL_QUAD_METRICS_H
#define TAVIK_IMAGEPROC_EVAL_QUAD_METRICS_H

#include "quad.h"

#include <opencv2/core.hpp>

// How well a found outline matches a scene's page.
namespace quad_metrics {

// Intersection over union of the found outline with the true page, taken in
// the page's own frame (the found corners mapped back through the inverse of
// `pageToImage`), so that a page far in perspective counts like a near one.
double iouInPageFrame(const Quad& found, const cv::Matx33d& pageToImage, cv::Size2d pageSize);

// Largest corner distance (best cyclic correspondence) over the true
// outline's perimeter.
double worstCornerError(const Quad& found, const Quad& truth);

} // namespace quad_metrics

#endif
