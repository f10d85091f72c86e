#ifndef TAVIK_IMAGEPROC_QUAD_H
#define TAVIK_IMAGEPROC_QUAD_H

#include <opencv2/core.hpp>

#include <array>

// A page outline: four corners in pixels, clockwise on screen (y down) from
// the top-left. Plain value; used on any thread.
struct Quad {
    std::array<cv::Point2f, 4> p;
};

// A straight line through `point` along the unit vector `dir`.
struct Line2 {
    cv::Point2f point;
    cv::Point2f dir;
};

namespace quad_geometry {

// Puts the corners in the order of Quad (clockwise, the top-left first: the
// corner with the smallest x + y).
Quad ordered(const Quad& q);

// Signed area (positive when clockwise on screen).
double signedArea(const Quad& q);
bool isConvex(const Quad& q);

// Interior angle at corner i, in degrees.
double cornerAngle(const Quad& q, int i);

// Intersection of two lines; false when they are (nearly) parallel.
bool intersect(const Line2& a, const Line2& b, cv::Point2f* at);

// The ordered quad whose corner i is where sides[i - 1] and sides[i] meet;
// false when two neighbouring sides are (nearly) parallel or it is not convex.
bool fromSides(const Line2 sides[4], Quad* out);

// Quad scaled from a picture downscaled by `factor` back to full size
// (pixel centres map to pixel centres).
Quad scaledUp(const Quad& q, int factor);

// Largest distance between corresponding corners after the best cyclic
// shift of `b` (the page's own top-left cannot be known from the picture).
double cornerDistance(const Quad& a, const Quad& b);

// `b` with its corners cyclically shifted to match `a` best.
Quad alignedTo(const Quad& a, const Quad& b);

// The mean of the corners.
cv::Point2f centre(const Quad& q);

// q grown (factor > 1) or shrunk about its centre.
Quad grown(const Quad& q, float factor);

// Whether every corner lies within a picture of `size`.
bool insideFrame(const Quad& q, cv::Size size);

// The area of the part of q a picture of `size` shows.
double visibleArea(const Quad& q, cv::Size size);

// Whether `inner` lies within `outer`, to within two pixels.
bool encloses(const Quad& outer, const Quad& inner);
// How far the farthest corner of `inner` lies outside `outer` (pixels; 0
// when all lie inside).
float reachBeyond(const Quad& outer, const Quad& inner);

} // namespace quad_geometry

#endif
