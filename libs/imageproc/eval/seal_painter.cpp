#include "seal_painter.h"

#include "glyph_painter.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

cv::Scalar SealPainter::randomInk(SceneRandom& rng)
{
    return cv::Scalar(rng.uniform(190, 235), rng.uniform(15, 60), rng.uniform(25, 70));
}

void SealPainter::stamp(cv::Mat& page, cv::Mat& coverage, cv::Point centre, int radius, cv::Scalar ink,
                        SceneRandom& rng)
{
    cv::Mat cover = cv::Mat::zeros(page.size(), CV_8U);
    const int ring = std::max(2, radius / 12);
    cv::circle(cover, centre, radius - ring / 2, cv::Scalar(255), ring, cv::LINE_AA);

    std::vector<cv::Point> star;
    const double outer = radius * 0.32, innerR = outer * 0.4;
    for (int i = 0; i < 10; ++i) {
        const double a = -CV_PI / 2 + i * CV_PI / 5, r = i % 2 ? innerR : outer;
        star.emplace_back(static_cast<int>(std::lround(centre.x + r * std::cos(a))),
                          static_cast<int>(std::lround(centre.y + r * std::sin(a))));
    }
    cv::fillPoly(cover, std::vector<std::vector<cv::Point>>{star}, cv::Scalar(255), cv::LINE_AA);

    // Characters along the upper arc, upright (a seal's are turned; the
    // difference does not matter to the light).
    const int size = std::max(6, radius / 4);
    const int count = rng.integer(5, 8);
    for (int i = 0; i < count; ++i) {
        const double a = CV_PI * (1.1 + 0.8 * i / std::max(1, count - 1));
        const double r = radius - ring - size * 0.7;
        const cv::Point c(static_cast<int>(centre.x + r * std::cos(a)), static_cast<int>(centre.y + r * std::sin(a)));
        GlyphPainter::character(cover, c - cv::Point(size / 2, size / 2), size, cv::Scalar(255), rng);
    }

    // Stamp ink is not quite opaque.
    const double opacity = rng.uniform(0.85, 0.97);
    for (int y = 0; y < page.rows; ++y) {
        const unsigned char* a = cover.ptr<unsigned char>(y);
        cv::Vec3b* p = page.ptr<cv::Vec3b>(y);
        unsigned char* k = coverage.ptr<unsigned char>(y);
        for (int x = 0; x < page.cols; ++x) {
            if (!a[x])
                continue;
            const double alpha = opacity * a[x] / 255.0;
            for (int c = 0; c < 3; ++c)
                p[x][c] = cv::saturate_cast<unsigned char>(p[x][c] * (1 - alpha + alpha * ink[c] / 255.0));
            k[x] = std::max(k[x], a[x]);
        }
    }
}
