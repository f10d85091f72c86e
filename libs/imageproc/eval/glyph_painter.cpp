#include "glyph_painter.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

int GlyphPainter::strokeWidth(int size)
{
    return std::max(1, static_cast<int>(std::lround(size / 14.0)));
}

void GlyphPainter::character(cv::Mat& page, cv::Point corner, int size, cv::Scalar ink, SceneRandom& rng)
{
    const int t = strokeWidth(size);
    const double m = size * 0.1, inner = size - 2 * m;
    auto at = [&](double u, double v) {
        return cv::Point(static_cast<int>(std::lround(corner.x + m + u * inner)),
                         static_cast<int>(std::lround(corner.y + m + v * inner)));
    };
    const int strokes = rng.integer(4, 9);
    for (int i = 0; i < strokes; ++i) {
        switch (rng.integer(0, 5)) {
        case 0: case 1: {  // horizontal
            const double v = rng.uniform(0, 1), u0 = rng.uniform(0, 0.4), u1 = rng.uniform(0.6, 1);
            cv::line(page, at(u0, v), at(u1, v), ink, t, cv::LINE_AA);
            break;
        }
        case 2: {  // vertical
            const double u = rng.uniform(0.1, 0.9), v0 = rng.uniform(0, 0.3), v1 = rng.uniform(0.6, 1);
            cv::line(page, at(u, v0), at(u, v1), ink, t, cv::LINE_AA);
            break;
        }
        case 3: {  // falling to the left or the right
            const double u = rng.uniform(0.3, 0.7), v = rng.uniform(0, 0.4);
            const double du = rng.chance(0.5) ? -0.35 : 0.35;
            cv::line(page, at(u, v), at(u + du, v + 0.55), ink, t, cv::LINE_AA);
            break;
        }
        case 4: {  // dot
            const double u = rng.uniform(0.1, 0.9), v = rng.uniform(0, 0.8);
            cv::line(page, at(u, v), at(u + 0.08, v + 0.12), ink, t, cv::LINE_AA);
            break;
        }
        default: {  // box
            const double u = rng.uniform(0, 0.5), v = rng.uniform(0, 0.5);
            cv::rectangle(page, at(u, v), at(u + rng.uniform(0.3, 0.5), v + rng.uniform(0.3, 0.5)), ink, t,
                          cv::LINE_AA);
            break;
        }
        }
    }
}

void GlyphPainter::text(cv::Mat& page, cv::Rect area, int size, cv::Scalar ink, SceneRandom& rng)
{
    const int advance = size + std::max(1, size / 8);
    const int lineStep = size + size / 2;
    for (int y = area.y; y + size <= area.y + area.height; y += lineStep) {
        const int end = area.x + static_cast<int>(area.width * rng.uniform(0.5, 1.0));
        for (int x = area.x; x + size <= end; x += advance)
            character(page, cv::Point(x, y), size, ink, rng);
    }
}
