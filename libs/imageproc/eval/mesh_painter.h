#ifndef TAVIK_IMAGEPROC_EVAL_MESH_PAINTER_H
#define TAVIK_IMAGEPROC_EVAL_MESH_PAINTER_H

#include <opencv2/core.hpp>

#include <functional>
#include <vector>

// Paints a flat picture (a sheet's face, a folder's cover) onto a camera
// picture where a surface puts it: the surface is cut into small triangles,
// each warped on its own, so bent sheets and lens distortion come out as
// the camera would see them. Used by the scene generator only.
namespace mesh_painter {

// Where texture point (u, v) (pixels of `texture`, its corners at -0.5)
// shows in the picture.
using Surface = std::function<cv::Point2d(double u, double v)>;

// Cuts spread over [0, 1] along one side of the texture: `cells` even
// ones, plus `fine` more in the outer `margin` at both ends (where a curled
// corner bends).
std::vector<double> cuts(int cells, int fine = 0, double margin = 0);

// Paints `texture` (RGB) through `surface` over `picture`, its outline
// anti-aliased; `us`, `vs`: the cuts (shares of the texture's width and
// height). With `coverage`, the painted share of each picture pixel is
// added there (CV_8U).
void paint(cv::Mat& picture, const cv::Mat& texture, const Surface& surface, const std::vector<double>& us,
           const std::vector<double>& vs, cv::Mat* coverage = nullptr);

// The outline of a surface in the picture (its border sampled along the
// cuts), clockwise or not as the surface turns.
std::vector<cv::Point2f> outline(const cv::Size& texture, const Surface& surface, const std::vector<double>& us,
                                 const std::vector<double>& vs);

} // namespace mesh_painter

#endif
