#include "desk_renderer.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

cv::Mat smoothNoise(cv::Size size, double cell, SceneRandom& rng)
{
    const cv::Size small(std::max(2, static_cast<int>(size.width / cell)),
                         std::max(2, static_cast<int>(size.height / cell)));
    cv::Mat n(small, CV_32F);
    for (int y = 0; y < n.rows; ++y)
        for (int x = 0; x < n.cols; ++x)
            n.at<float>(y, x) = static_cast<float>(rng.uniform(-1, 1));
    cv::Mat big;
    cv::resize(n, big, size, 0, 0, cv::INTER_CUBIC);
    return big;
}

void addTexture(cv::Mat& desk, const cv::Mat& field, double amplitude)
{
    for (int y = 0; y < desk.rows; ++y) {
        cv::Vec3b* p = desk.ptr<cv::Vec3b>(y);
        const float* f = field.ptr<float>(y);
        for (int x = 0; x < desk.cols; ++x)
            for (int c = 0; c < 3; ++c)
                p[x][c] = cv::saturate_cast<uchar>(p[x][c] + amplitude * f[x]);
    }
}

} // namespace

const char* DeskRenderer::name(Kind kind)
{
    switch (kind) {
    case Kind::Dark: return "dark";
    case Kind::Wood: return "wood";
    case Kind::Fabric: return "fabric";
    case Kind::Grey: return "grey";
    case Kind::Clutter: return "clutter";
    case Kind::White: return "white";
    }
    return "?";
}

cv::Mat DeskRenderer::render(Kind kind, cv::Size size, cv::Scalar paper, SceneRandom& rng)
{
    cv::Mat desk;
    switch (kind) {
    case Kind::Dark: {
        const double v = rng.uniform(15, 75);
        desk = cv::Mat(size, CV_8UC3, cv::Scalar(v + rng.uniform(-8, 8), v, v + rng.uniform(-8, 8)));
        addTexture(desk, smoothNoise(size, 40, rng), 6);
        break;
    }
    case Kind::Wood: {
        const cv::Scalar base(rng.uniform(110, 190), rng.uniform(65, 120), rng.uniform(25, 70));
        desk = cv::Mat(size, CV_8UC3, base);
        // Grain: stripes along a random direction, wobbling.
        const double angle = rng.uniform(0, CV_PI), period = rng.uniform(6, 25);
        const cv::Mat wobble = smoothNoise(size, 60, rng);
        const double c = std::cos(angle), s = std::sin(angle);
        cv::Mat field(size, CV_32F);
        for (int y = 0; y < size.height; ++y)
            for (int x = 0; x < size.width; ++x)
                field.at<float>(y, x) = static_cast<float>(
                    std::sin((x * c + y * s) / period * 2 * CV_PI + 4 * wobble.at<float>(y, x)));
        addTexture(desk, field, rng.uniform(8, 22));
        addTexture(desk, smoothNoise(size, 80, rng), 15);
        break;
    }
    case Kind::Fabric: {
        const cv::Scalar base(rng.uniform(20, 220), rng.uniform(20, 220), rng.uniform(20, 220));
        desk = cv::Mat(size, CV_8UC3, base);
        const double period = rng.uniform(2.5, 8);
        cv::Mat field(size, CV_32F);
        for (int y = 0; y < size.height; ++y)
            for (int x = 0; x < size.width; ++x)
                field.at<float>(y, x) = static_cast<float>(
                    std::sin(x / period * 2 * CV_PI) * std::sin(y / period * 2 * CV_PI));
        addTexture(desk, field, rng.uniform(8, 25));
        break;
    }
    case Kind::Grey: {
        const double v = rng.uniform(90, 180);
        desk = cv::Mat(size, CV_8UC3, cv::Scalar(v, v + rng.uniform(-6, 6), v + rng.uniform(-10, 10)));
        addTexture(desk, smoothNoise(size, 30, rng), 8);
        break;
    }
    case Kind::Clutter: {
        const cv::Scalar base(rng.uniform(40, 200), rng.uniform(40, 180), rng.uniform(30, 160));
        desk = cv::Mat(size, CV_8UC3, base);
        addTexture(desk, smoothNoise(size, 50, rng), 12);
        scatterObjects(desk, rng.integer(6, 14), rng);
        break;
    }
    case Kind::White: {
        // Within a few grey levels of the paper, brighter or darker.
        const double delta = (rng.chance(0.5) ? 1 : -1) * rng.uniform(3, 9);
        desk = cv::Mat(size, CV_8UC3, paper + cv::Scalar(delta, delta, delta + rng.uniform(-3, 3)));
        addTexture(desk, smoothNoise(size, 25, rng), 2.5);
        break;
    }
    }
    return desk;
}

void DeskRenderer::scatterObjects(cv::Mat& desk, int count, SceneRandom& rng)
{
    const double scale = std::min(desk.cols, desk.rows);
    for (int i = 0; i < count; ++i) {
        const cv::Scalar colour(rng.uniform(0, 255), rng.uniform(0, 255), rng.uniform(0, 255));
        const cv::Point c(rng.integer(0, desk.cols - 1), rng.integer(0, desk.rows - 1));
        switch (rng.integer(0, 3)) {
        case 0: {  // pen
            const double a = rng.uniform(0, CV_PI), len = scale * rng.uniform(0.15, 0.4);
            const cv::Point d(static_cast<int>(std::cos(a) * len / 2), static_cast<int>(std::sin(a) * len / 2));
            cv::line(desk, c - d, c + d, colour, std::max(2, static_cast<int>(scale * 0.015)), cv::LINE_AA);
            break;
        }
        case 1:  // coin or cup ring
            cv::circle(desk, c, static_cast<int>(scale * rng.uniform(0.02, 0.07)), colour, cv::FILLED, cv::LINE_AA);
            break;
        case 2: {  // sticky note, turned
            const double side = scale * rng.uniform(0.08, 0.16);
            const cv::RotatedRect r(cv::Point2f(c), cv::Size2f(static_cast<float>(side), static_cast<float>(side)),
                                    static_cast<float>(rng.uniform(0, 90)));
            cv::Point2f p[4];
            r.points(p);
            std::vector<cv::Point> poly(p, p + 4);
            cv::fillConvexPoly(desk, poly, colour, cv::LINE_AA);
            break;
        }
        default: {  // cable
            std::vector<cv::Point> pts;
            cv::Point p = c;
            for (int k = 0; k < 6; ++k) {
                pts.push_back(p);
                p += cv::Point(rng.integer(-40, 40), rng.integer(-40, 40));
            }
            cv::polylines(desk, pts, false, colour, std::max(2, static_cast<int>(scale * 0.008)), cv::LINE_AA);
            break;
        }
        }
    }
}
