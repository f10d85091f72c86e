#include "page_warper.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kAssumedFocal = 1.0;

double sideMeanRatio(const Quad& q)
{
    const double top = cv::norm(q.p[1] - q.p[0]), bottom = cv::norm(q.p[2] - q.p[3]);
    const double left = cv::norm(q.p[3] - q.p[0]), right = cv::norm(q.p[2] - q.p[1]);
    return (top + bottom) / std::max(1e-6, left + right);
}

} // namespace

double PageWarper::aspectRatio(const Quad& q, cv::Size size)
{
    // Zhang and He's rectangle reconstruction: with m1..m4 the top-left,
    // top-right, bottom-left and bottom-right corners, the vanishing
    // geometry gives the focal length and then the true ratio.
    const double u0 = size.width / 2.0, v0 = size.height / 2.0;
    const cv::Vec3d m1(q.p[0].x, q.p[0].y, 1), m2(q.p[1].x, q.p[1].y, 1);
    const cv::Vec3d m3(q.p[3].x, q.p[3].y, 1), m4(q.p[2].x, q.p[2].y, 1);
    const double k2 = m1.cross(m4).dot(m3) / m2.cross(m4).dot(m3);
    const double k3 = m1.cross(m4).dot(m2) / m3.cross(m4).dot(m2);
    const cv::Vec3d n2 = k2 * m2 - m1, n3 = k3 * m3 - m1;
    const double fallback = sideMeanRatio(q);
    if (!std::isfinite(k2) || !std::isfinite(k3))
        return fallback;
    // With one pair of sides parallel in the picture the focal length
    // cannot be told; a typical camera's (a field of view of about 55
    // degrees) then stands in, which is good to a few per cent for the
    // small tilts of a document camera.
    double f = kAssumedFocal * size.width;
    const double denom = n2[2] * n3[2];
    if (std::abs(n2[2]) > 1e-3 && std::abs(n3[2]) > 1e-3) {
        const double f2 = -((n2[0] * n3[0] - (n2[0] * n3[2] + n2[2] * n3[0]) * u0 + n2[2] * n3[2] * u0 * u0)
                            + (n2[1] * n3[1] - (n2[1] * n3[2] + n2[2] * n3[1]) * v0
                               + n2[2] * n3[2] * v0 * v0))
            / denom;
        // Focal lengths no real camera has (under 0.3 or over 20 picture
        // widths) mean the estimate is noise.
        if (f2 > 0 && std::sqrt(f2) > 0.3 * size.width && std::sqrt(f2) < 20.0 * size.width)
            f = std::sqrt(f2);
    }
    auto normSq = [&](const cv::Vec3d& n) {
        const double x = (n[0] - u0 * n[2]) / f, y = (n[1] - v0 * n[2]) / f;
        return x * x + y * y + n[2] * n[2];
    };
    const double ratio = std::sqrt(normSq(n2) / normSq(n3));
    if (!std::isfinite(ratio) || ratio <= 0 || ratio > 10 || ratio < 0.1)
        return fallback;
    return ratio;
}

double PageWarper::longOverShort(double widthOverHeight)
{
    return std::max(widthOverHeight, 1.0 / std::max(widthOverHeight, 1e-6));
}

cv::Mat PageWarper::straighten(const cv::Mat& rgb, const Quad& q, long long maxPixels)
{
    if (rgb.empty() || !quad_geometry::isConvex(q))
        return cv::Mat();
    const double ratio = aspectRatio(q, rgb.size());
    const double top = cv::norm(q.p[1] - q.p[0]), bottom = cv::norm(q.p[2] - q.p[3]);
    const double left = cv::norm(q.p[3] - q.p[0]), right = cv::norm(q.p[2] - q.p[1]);
    double w, h;
    if (ratio >= 1) {
        w = std::max(top, bottom);
        h = w / ratio;
    } else {
        h = std::max(left, right);
        w = h * ratio;
    }
    const double pixels = w * h;
    if (pixels > static_cast<double>(maxPixels)) {
        const double s = std::sqrt(static_cast<double>(maxPixels) / pixels);
        w *= s;
        h *= s;
    }
    const int ow = std::max(1, static_cast<int>(std::lround(w)));
    const int oh = std::max(1, static_cast<int>(std::lround(h)));
    if (ow < 8 || oh < 8)
        return cv::Mat();
    const cv::Point2f src[4] = {q.p[0], q.p[1], q.p[2], q.p[3]};
    const cv::Point2f dst[4] = {{-0.5f, -0.5f},
                                {ow - 0.5f, -0.5f},
                                {ow - 0.5f, oh - 0.5f},
                                {-0.5f, oh - 0.5f}};
    const cv::Mat h33 = cv::getPerspectiveTransform(src, dst);
    cv::Mat out;
    // Parts of a page beyond the frame edge come out white, like paper.
    cv::warpPerspective(rgb, out, h33, cv::Size(ow, oh), cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                        cv::Scalar(255, 255, 255));
    return out;
}
