#include "sheet_composer.h"

#include "glyph_painter.h"
#include "page_renderer.h"
#include "scene_random.h"
#include "seal_painter.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

cv::Mat disc(int radius)
{
    return cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * radius + 1, 2 * radius + 1));
}

// Pixels that differ from the paper colour by more than a rounding.
cv::Mat printed(const cv::Mat& page, cv::Scalar paper)
{
    cv::Mat diff;
    cv::absdiff(page, paper, diff);
    cv::Mat channels[3];
    cv::split(diff, channels);
    cv::Mat most = cv::max(cv::max(channels[0], channels[1]), channels[2]);
    return most > 2;
}

// Dark and neutral: letters and rules, not the pictures' colours.
cv::Mat darkNeutral(const cv::Mat& page)
{
    cv::Mat mask(page.size(), CV_8U);
    for (int y = 0; y < page.rows; ++y) {
        const cv::Vec3b* p = page.ptr<cv::Vec3b>(y);
        unsigned char* m = mask.ptr<unsigned char>(y);
        for (int x = 0; x < page.cols; ++x) {
            const int hi = std::max({p[x][0], p[x][1], p[x][2]}), lo = std::min({p[x][0], p[x][1], p[x][2]});
            m[x] = hi <= 70 && hi - lo <= 30 ? 255 : 0;
        }
    }
    return mask;
}

} // namespace

Sheet SheetComposer::make(uint32_t seed, cv::Size size)
{
    SceneRandom rng(seed);
    Sheet sheet;
    sheet.paperColour = PageRenderer::paperTint(rng);
    const int w = size.width, h = size.height;
    const int top = static_cast<int>(h * rng.uniform(0.62, 0.75));
    sheet.clean = cv::Mat(size, CV_8UC3, sheet.paperColour);
    PageRenderer::render(PageRenderer::Kind::A4, cv::Size(w, top), sheet.paperColour, rng)
        .copyTo(sheet.clean(cv::Rect(0, 0, w, top)));

    const int margin = static_cast<int>(w * rng.uniform(0.06, 0.1));
    const int glyph = std::max(8, static_cast<int>(std::max(w, h) * rng.uniform(1.0 / 110, 1.0 / 60)));
    const cv::Scalar ink(rng.uniform(0, 40), rng.uniform(0, 40), rng.uniform(0, 50));
    const cv::Rect lines(margin, top, w - 2 * margin, std::max(0, h - margin - top));
    GlyphPainter::text(sheet.clean, lines, glyph, ink, rng);

    const cv::Mat print = printed(sheet.clean, sheet.paperColour);
    sheet.ink = darkNeutral(sheet.clean) & print;

    cv::Mat coverage = cv::Mat::zeros(size, CV_8U);
    const int radius = static_cast<int>(std::min(w, h) * rng.uniform(0.07, 0.1));
    const cv::Point centre(static_cast<int>(w * rng.uniform(0.55, 0.8)),
                           std::clamp(static_cast<int>(top + (h - top) * rng.uniform(0.3, 0.6)), radius, h - radius));
    SealPainter::stamp(sheet.clean, coverage, centre, radius, SealPainter::randomInk(rng), rng);

    // Measures keep clear of the blur a camera adds around every mark.
    const int clearance = std::max(2, std::max(w, h) / 700);
    cv::Mat anyMark = print | (coverage > 0);
    cv::Mat nearMark;
    cv::dilate(anyMark, nearMark, disc(clearance));
    sheet.paper = ~nearMark;
    cv::Mat printNear;
    cv::dilate(print, printNear, disc(1));
    cv::Mat solid = coverage >= 250;
    cv::erode(solid, solid, disc(1));
    sheet.seal = solid & ~printNear;
    sheet.ink &= ~(coverage > 0);

    // Letters and rules are thin: where nearly a whole window is printed,
    // it is a picture.
    const int window = 2 * clearance + 1;
    cv::Mat density;
    cv::blur(print | (coverage > 0), density, cv::Size(3 * window, 3 * window));
    cv::dilate(density > 240, sheet.pictures, disc(3 * window));
    return sheet;
}
