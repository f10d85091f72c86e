#include "outline_painter.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

cv::Scalar OutlinePainter::colourOf(int colour)
{
    switch (colour) {
    case 2:
        return cv::Scalar(255, 0, 0);
    case 3:
        return cv::Scalar(0, 0, 255);
    case 4:
        return cv::Scalar(255, 220, 0);
    default:
        return cv::Scalar(0, 230, 0);
    }
}

void OutlinePainter::draw(cv::Mat* rgb, const Quad& q, int colour, int thickness)
{
    // Never thinner than asked: small previews are shown enlarged.
    const double scale = std::max(1.0, std::max(rgb->cols, rgb->rows) / 640.0);
    const int t = std::clamp(static_cast<int>(std::lround(std::max(1, thickness) * scale)), 1, 32);
    // Sub-pixel corners: cv::line takes fixed point with 4 fractional bits.
    constexpr int kShift = 4;
    const cv::Scalar c = colourOf(colour);
    for (int i = 0; i < 4; ++i) {
        const cv::Point2f a = q.p[i], b = q.p[(i + 1) % 4];
        const cv::Point pa(static_cast<int>(std::lround(a.x * (1 << kShift))),
                           static_cast<int>(std::lround(a.y * (1 << kShift))));
        const cv::Point pb(static_cast<int>(std::lround(b.x * (1 << kShift))),
                           static_cast<int>(std::lround(b.y * (1 << kShift))));
        cv::line(*rgb, pa, pb, c, t, cv::LINE_AA, kShift);
    }
}
