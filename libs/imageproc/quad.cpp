#include "quad.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace quad_geometry {

namespace {

double cross(cv::Point2f a, cv::Point2f b)
{
    return static_cast<double>(a.x) * b.y - static_cast<double>(a.y) * b.x;
}

} // namespace

double signedArea(const Quad& q)
{
    double s = 0;
    for (int i = 0; i < 4; ++i)
        s += cross(q.p[i], q.p[(i + 1) % 4]);
    return s / 2;
}

cv::Point2f centre(const Quad& q)
{
    cv::Point2f c(0, 0);
    for (const cv::Point2f& p : q.p)
        c += p * 0.25f;
    return c;
}

Quad grown(const Quad& q, float factor)
{
    const cv::Point2f c = centre(q);
    Quad out = q;
    for (cv::Point2f& p : out.p)
        p = c + (p - c) * factor;
    return out;
}

Quad ordered(const Quad& q)
{
    Quad r = q;
    const cv::Point2f c = centre(q);
    // Sort by angle around the centre; atan2 with y down gives clockwise on
    // screen for increasing angle.
    std::sort(r.p.begin(), r.p.end(), [c](cv::Point2f a, cv::Point2f b) {
        return std::atan2(a.y - c.y, a.x - c.x) < std::atan2(b.y - c.y, b.x - c.x);
    });
    int first = 0;
    for (int i = 1; i < 4; ++i) {
        if (r.p[i].x + r.p[i].y < r.p[first].x + r.p[first].y)
            first = i;
    }
    std::rotate(r.p.begin(), r.p.begin() + first, r.p.end());
    return r;
}

bool isConvex(const Quad& q)
{
    int sign = 0;
    for (int i = 0; i < 4; ++i) {
        const cv::Point2f a = q.p[(i + 1) % 4] - q.p[i];
        const cv::Point2f b = q.p[(i + 2) % 4] - q.p[(i + 1) % 4];
        const double c = cross(a, b);
        if (std::abs(c) < 1e-9)
            return false;
        const int s = c > 0 ? 1 : -1;
        if (sign != 0 && s != sign)
            return false;
        sign = s;
    }
    return true;
}

double cornerAngle(const Quad& q, int i)
{
    const cv::Point2f a = q.p[(i + 3) % 4] - q.p[i];
    const cv::Point2f b = q.p[(i + 1) % 4] - q.p[i];
    const double na = std::hypot(a.x, a.y), nb = std::hypot(b.x, b.y);
    if (na < 1e-9 || nb < 1e-9)
        return 0;
    const double c = std::clamp((a.x * b.x + a.y * b.y) / (na * nb), -1.0, 1.0);
    return std::acos(c) * 180.0 / CV_PI;
}

bool intersect(const Line2& a, const Line2& b, cv::Point2f* at)
{
    const double d = cross(a.dir, b.dir);
    if (std::abs(d) < 1e-6)
        return false;
    const double t = cross(b.point - a.point, b.dir) / d;
    *at = a.point + a.dir * static_cast<float>(t);
    return true;
}

bool fromSides(const Line2 sides[4], Quad* out)
{
    Quad q;
    for (int i = 0; i < 4; ++i) {
        if (!intersect(sides[(i + 3) % 4], sides[i], &q.p[i]))
            return false;
    }
    q = ordered(q);
    if (!isConvex(q))
        return false;
    *out = q;
    return true;
}

Quad scaledUp(const Quad& q, int factor)
{
    Quad r;
    const float f = static_cast<float>(factor);
    for (int i = 0; i < 4; ++i)
        r.p[i] = cv::Point2f((q.p[i].x + 0.5f) * f - 0.5f, (q.p[i].y + 0.5f) * f - 0.5f);
    return r;
}

Quad alignedTo(const Quad& a, const Quad& b)
{
    Quad best = b;
    double bestD = 1e300;
    for (int s = 0; s < 4; ++s) {
        Quad c;
        double d = 0;
        for (int i = 0; i < 4; ++i) {
            c.p[i] = b.p[(i + s) % 4];
            const cv::Point2f e = c.p[i] - a.p[i];
            d = std::max(d, std::hypot(static_cast<double>(e.x), static_cast<double>(e.y)));
        }
        if (d < bestD) {
            bestD = d;
            best = c;
        }
    }
    return best;
}

double cornerDistance(const Quad& a, const Quad& b)
{
    const Quad c = alignedTo(a, b);
    double d = 0;
    for (int i = 0; i < 4; ++i) {
        const cv::Point2f e = c.p[i] - a.p[i];
        d = std::max(d, std::hypot(static_cast<double>(e.x), static_cast<double>(e.y)));
    }
    return d;
}

bool insideFrame(const Quad& q, cv::Size size)
{
    for (const cv::Point2f& p : q.p) {
        if (p.x < 0 || p.y < 0 || p.x > size.width - 1 || p.y > size.height - 1)
            return false;
    }
    return true;
}

double visibleArea(const Quad& q, cv::Size size)
{
    const std::vector<cv::Point2f> a(q.p.begin(), q.p.end());
    const std::vector<cv::Point2f> frame = {{0, 0},
                                            {static_cast<float>(size.width), 0},
                                            {static_cast<float>(size.width), static_cast<float>(size.height)},
                                            {0, static_cast<float>(size.height)}};
    std::vector<cv::Point2f> inter;
    return cv::intersectConvexConvex(a, frame, inter, true);
}

float reachBeyond(const Quad& outer, const Quad& inner)
{
    const std::vector<cv::Point2f> poly(outer.p.begin(), outer.p.end());
    float beyond = 0;
    for (const cv::Point2f& p : inner.p)
        beyond = std::max(beyond, static_cast<float>(-cv::pointPolygonTest(poly, p, true)));
    return beyond;
}

bool encloses(const Quad& outer, const Quad& inner)
{
    return reachBeyond(outer, inner) <= 2.0f;
}

} // namespace quad_geometry
