#include "quad_metrics.h"

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <vector>

namespace quad_metrics {

double iouInPageFrame(const Quad& found, const cv::Matx33d& pageToImage, cv::Size2d pageSize)
{
    const cv::Matx33d back = pageToImage.inv();
    std::vector<cv::Point2f> mapped;
    for (const cv::Point2f& p : found.p) {
        const cv::Vec3d v = back * cv::Vec3d(p.x, p.y, 1);
        // A corner beyond the horizon of the page plane: nothing sensible.
        if (v[2] <= 1e-9)
            return 0;
        mapped.emplace_back(static_cast<float>(v[0] / v[2]), static_cast<float>(v[1] / v[2]));
    }
    std::vector<cv::Point2f> hull;
    cv::convexHull(mapped, hull);
    const float w = static_cast<float>(pageSize.width), h = static_cast<float>(pageSize.height);
    const std::vector<cv::Point2f> page = {{-0.5f, -0.5f}, {w - 0.5f, -0.5f}, {w - 0.5f, h - 0.5f}, {-0.5f, h - 0.5f}};
    std::vector<cv::Point2f> inter;
    const double common = cv::intersectConvexConvex(hull, page, inter, true);
    const double a = std::abs(cv::contourArea(hull)), b = static_cast<double>(w) * h;
    const double all = a + b - common;
    return all > 0 ? common / all : 0;
}

double worstCornerError(const Quad& found, const Quad& truth)
{
    double perimeter = 0;
    for (int i = 0; i < 4; ++i)
        perimeter += cv::norm(truth.p[(i + 1) % 4] - truth.p[i]);
    return perimeter > 0 ? quad_geometry::cornerDistance(truth, found) / perimeter : 1;
}

} // namespace quad_metrics
