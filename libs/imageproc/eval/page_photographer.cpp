#include "page_photographer.h"

#include "jpeg_codec.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// The light is smooth: it is worked out on a grid this many times coarser.
constexpr int kLightStep = 4;

double distanceToSegment(cv::Point2d p, cv::Point2d a, cv::Point2d b)
{
    const cv::Point2d ab = b - a;
    const double t = std::clamp((p - a).dot(ab) / std::max(1e-9, ab.dot(ab)), 0.0, 1.0);
    return cv::norm(p - (a + t * ab));
}

double smoothstep(double e0, double e1, double v)
{
    const double t = std::clamp((v - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

} // namespace

std::string PagePhotographer::Conditions::describe() const
{
    char text[200];
    std::snprintf(text, sizeof text, "ambient %.2f%s, blur %.1f, grain %.1f, JPEG %d", ambient,
                  shadow ? ", arm shadow" : "", blur, noise, jpegQuality);
    return text;
}

PagePhotographer::Conditions PagePhotographer::randomConditions(cv::Size size, bool shadow, SceneRandom& rng)
{
    Conditions c;
    const double longSide = std::max(size.width, size.height);
    const cv::Point2d centre(size.width / 2.0, size.height / 2.0);
    const double a = rng.uniform(0, 2 * CV_PI);
    c.lamp = centre + rng.uniform(0.5, 1.0) * longSide * cv::Point2d(std::cos(a), std::sin(a));
    c.lampHeight = rng.uniform(0.5, 0.9) * longSide;
    c.ambient = rng.uniform(0.12, 0.3);
    c.shadow = shadow;
    if (shadow) {
        // The arm comes in over one edge and ends somewhere over the page.
        const double b = rng.uniform(0, 2 * CV_PI);
        const cv::Point2d dir(std::cos(b), std::sin(b));
        c.armFrom = centre - dir * longSide;
        c.armTo = centre + dir * (longSide * rng.uniform(-0.3, 0.3))
            + cv::Point2d(-dir.y, dir.x) * (longSide * rng.uniform(-0.25, 0.25));
        c.armHalfWidth = longSide * rng.uniform(0.04, 0.1);
        c.penumbra = longSide * rng.uniform(0.015, 0.06);
        c.armDepth = rng.uniform(0.45, 0.8);
    }
    c.tint = cv::Vec3d(1, 1 - rng.uniform(0, 0.04), 1 - rng.uniform(0.02, 0.12));
    c.exposure = rng.uniform(225, 250);
    c.blur = rng.uniform(0.5, 1.3);
    c.noise = rng.uniform(1.5, 5);
    c.shotNoise = rng.uniform(0, 0.05);
    c.jpegQuality = rng.integer(70, 92);
    return c;
}

cv::Mat PagePhotographer::light(cv::Size size, const Conditions& c)
{
    const cv::Size grid(size.width / kLightStep + 2, size.height / kLightStep + 2);
    cv::Mat coarse(grid, CV_32F);
    const double h2 = c.lampHeight * c.lampHeight;
    for (int gy = 0; gy < grid.height; ++gy) {
        for (int gx = 0; gx < grid.width; ++gx) {
            const cv::Point2d p(gx * kLightStep, gy * kLightStep);
            const cv::Point2d d = p - c.lamp;
            // A point lamp: the inverse square and the slant together, cos^3.
            double lamp = std::pow(h2 / (h2 + d.dot(d)), 1.5);
            if (c.shadow) {
                const double dist = distanceToSegment(p, c.armFrom, c.armTo);
                const double edge = c.penumbra / 2;
                const double inside = 1 - smoothstep(c.armHalfWidth - edge, c.armHalfWidth + edge, dist);
                lamp *= 1 - c.armDepth * inside;
            }
            coarse.at<float>(gy, gx) = static_cast<float>(c.ambient + (1 - c.ambient) * lamp);
        }
    }
    cv::Mat fine;
    cv::resize(coarse, fine, cv::Size(grid.width * kLightStep, grid.height * kLightStep), 0, 0, cv::INTER_LINEAR);
    fine = fine(cv::Rect(kLightStep / 2, kLightStep / 2, size.width, size.height)).clone();
    double top = 0;
    cv::minMaxLoc(fine, nullptr, &top);
    fine /= std::max(1e-9, top);
    cv::Mat rgb;
    cv::merge(std::vector<cv::Mat>{fine * c.tint[0], fine * c.tint[1], fine * c.tint[2]}, rgb);
    return rgb;
}

cv::Mat PagePhotographer::shoot(const cv::Mat& clean, const Conditions& c, uint32_t grainSeed)
{
    cv::Mat page;
    clean.convertTo(page, CV_32FC3);
    // Paper of 250 under the brightest light comes out at the exposure.
    cv::Mat lit = page.mul(light(clean.size(), c), c.exposure / 250.0);
    if (c.blur > 0.2)
        cv::GaussianBlur(lit, lit, cv::Size(), c.blur);
    if (c.noise > 0 || c.shotNoise > 0) {
        cv::Mat grain(lit.size(), CV_32FC3);
        cv::RNG rng(grainSeed);
        rng.fill(grain, cv::RNG::NORMAL, 0, 1);
        cv::Mat sigma;
        cv::max(lit, 0.0, sigma);
        sigma.convertTo(sigma, -1, c.shotNoise, c.noise * c.noise);
        cv::sqrt(sigma, sigma);
        lit += grain.mul(sigma);
    }
    cv::Mat photo;
    lit.convertTo(photo, CV_8UC3);
    if (c.jpegQuality > 0) {
        unsigned char* data = nullptr;
        size_t length = 0;
        cv::Mat decoded;
        if (jpeg_codec::encode(photo, c.jpegQuality, &data, &length)
            && jpeg_codec::decode(data, length, &decoded))
            photo = decoded;
        std::free(data);
    }
    return photo;
}
