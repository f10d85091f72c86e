#include "candidate_finder.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

struct Side {
    cv::Point2f a, b;
    bool border;
    float length() const { return std::hypot(b.x - a.x, b.y - a.y); }
};

bool onSameBorder(cv::Point a, cv::Point b, cv::Size size)
{
    const int m = 2;
    return (a.x <= m && b.x <= m) || (a.y <= m && b.y <= m)
        || (a.x >= size.width - 1 - m && b.x >= size.width - 1 - m)
        || (a.y >= size.height - 1 - m && b.y >= size.height - 1 - m);
}

float angleBetween(const Side& s, const Side& t)
{
    const cv::Point2f u = s.b - s.a, v = t.b - t.a;
    const float c = (u.x * v.x + u.y * v.y) / (std::hypot(u.x, u.y) * std::hypot(v.x, v.y) + 1e-6f);
    return std::acos(std::clamp(c, -1.0f, 1.0f)) * 180.0f / static_cast<float>(CV_PI);
}

bool nearDuplicate(const Quad& a, const std::vector<Quad>& list, float tolerance)
{
    for (const Quad& b : list) {
        if (quad_geometry::cornerDistance(a, b) < tolerance)
            return true;
    }
    return false;
}

// Simplifies a convex hull to a polygon, but keeps the ends of stretches
// that run along the frame edge: they are where a page's sides leave the
// picture, and the side lines must be fitted up to them.
std::vector<cv::Point> simplifiedHull(const std::vector<cv::Point>& hull, cv::Size size,
                                      double epsilon)
{
    const size_t n = hull.size();
    std::vector<bool> borderAfter(n, false);
    size_t first = n;
    for (size_t i = 0; i < n; ++i) {
        const cv::Point a = hull[i], b = hull[(i + 1) % n];
        if (onSameBorder(a, b, size) && cv::norm(a - b) >= 3) {
            borderAfter[i] = true;
            if (first == n)
                first = i;
        }
    }
    std::vector<cv::Point> poly;
    if (first == n) {
        cv::approxPolyDP(hull, poly, epsilon, true);
        return poly;
    }
    // Walk from the end of a border stretch; simplify each run between
    // stretches as an open curve, which keeps its two ends.
    std::vector<cv::Point> chain;
    for (size_t k = 1; k <= n; ++k) {
        const size_t i = (first + k) % n;
        chain.push_back(hull[i]);
        if (borderAfter[i]) {
            std::vector<cv::Point> part;
            if (chain.size() > 2)
                cv::approxPolyDP(chain, part, epsilon, false);
            else
                part = chain;
            poly.insert(poly.end(), part.begin(), part.end());
            chain.clear();
        }
    }
    return poly;
}

} // namespace

CandidateFinder::CandidateFinder(const cv::Mat& planes, const cv::Mat& sat)
    : m_planes(planes), m_sat(sat), m_minArea(0.04 * planes.rows * planes.cols)
{
}

bool CandidateFinder::quadFromPolygon(const std::vector<cv::Point>& polygon, cv::Size size,
                                      Quad* out)
{
    const size_t n = polygon.size();
    if (n < 3)
        return false;
    std::vector<Side> sides;
    double perimeter = 0;
    for (size_t i = 0; i < n; ++i) {
        const cv::Point a = polygon[i], b = polygon[(i + 1) % n];
        Side s{cv::Point2f(a), cv::Point2f(b), onSameBorder(a, b, size)};
        perimeter += s.length();
        sides.push_back(s);
    }
    // Start the cycle just after a border side (if any), so that merging
    // never has to wrap around one.
    for (size_t i = 0; i < n; ++i) {
        if (sides[i].border) {
            std::rotate(sides.begin(), sides.begin() + static_cast<long>((i + 1) % n), sides.end());
            break;
        }
    }
    // Merge runs of near-collinear real sides; remember which gaps hold the
    // picture border.
    std::vector<Side> real;
    std::vector<bool> borderBefore;
    bool pendingBorder = false;
    for (const Side& s : sides) {
        if (s.border) {
            pendingBorder = true;
            continue;
        }
        if (!real.empty() && !pendingBorder && angleBetween(real.back(), s) < 12.0f) {
            real.back().b = s.b;
            continue;
        }
        real.push_back(s);
        borderBefore.push_back(pendingBorder);
        pendingBorder = false;
    }
    if (pendingBorder && !borderBefore.empty())
        borderBefore[0] = true;
    if (real.size() >= 2 && !borderBefore[0]
        && angleBetween(real.back(), real.front()) < 12.0f) {
        real.front().a = real.back().a;
        real.pop_back();
        borderBefore.pop_back();
    }
    // Short pieces (chamfered corners, fingers) are not sides.
    const float minSide = static_cast<float>(perimeter) * 0.05f;
    std::vector<Side> kept;
    std::vector<bool> keptBorder;
    bool carry = false;
    for (size_t i = 0; i < real.size(); ++i) {
        carry = carry || borderBefore[i];
        if (real[i].length() < minSide)
            continue;
        kept.push_back(real[i]);
        keptBorder.push_back(carry);
        carry = false;
    }
    if (carry && !keptBorder.empty())
        keptBorder[0] = true;
    while (kept.size() > 4) {
        size_t shortest = 0;
        for (size_t i = 1; i < kept.size(); ++i) {
            if (kept[i].length() < kept[shortest].length())
                shortest = i;
        }
        const bool b = keptBorder[shortest];
        kept.erase(kept.begin() + static_cast<long>(shortest));
        keptBorder.erase(keptBorder.begin() + static_cast<long>(shortest));
        if (b && !kept.empty())
            keptBorder[shortest % kept.size()] = true;
    }
    std::vector<Line2> lines;
    for (size_t i = 0; i < kept.size(); ++i) {
        if (kept.size() == 3 && keptBorder[i]) {
            // The page runs off the frame between the previous side and
            // this one: the frame edge stands in for the missing side.
            const cv::Point2f from = kept[(i + 2) % 3].b, to = kept[i].a;
            lines.push_back(Line2{from, (to - from) / std::max(1e-3f, static_cast<float>(cv::norm(to - from)))});
        }
        const cv::Point2f d = kept[i].b - kept[i].a;
        lines.push_back(Line2{kept[i].a, d / kept[i].length()});
    }
    if (lines.size() != 4)
        return false;
    Quad q;
    for (int i = 0; i < 4; ++i) {
        if (!quad_geometry::intersect(lines[(i + 3) % 4], lines[i], &q.p[i]))
            return false;
    }
    q = quad_geometry::ordered(q);
    if (!quad_geometry::isConvex(q))
        return false;
    const float w = static_cast<float>(size.width), h = static_cast<float>(size.height);
    for (const cv::Point2f& p : q.p) {
        if (p.x < -0.5f * w || p.x > 1.5f * w || p.y < -0.5f * h || p.y > 1.5f * h)
            return false;
    }
    *out = q;
    return true;
}

bool CandidateFinder::unionOf(const Quad& a, const Quad& b, cv::Size size, Quad* out)
{
    std::vector<cv::Point2f> points(a.p.begin(), a.p.end());
    points.insert(points.end(), b.p.begin(), b.p.end());
    std::vector<cv::Point2f> hull;
    cv::convexHull(points, hull);
    const double hullArea = cv::contourArea(hull);
    const double parts = std::abs(quad_geometry::signedArea(a)) + std::abs(quad_geometry::signedArea(b));
    // Overlapping or far apart outlines are not two halves of one sheet.
    if (hullArea > 1.08 * parts || hullArea < 0.9 * parts)
        return false;
    std::vector<cv::Point> rounded;
    for (const cv::Point2f& p : hull)
        rounded.emplace_back(cvRound(p.x), cvRound(p.y));
    std::vector<cv::Point> poly;
    cv::approxPolyDP(rounded, poly, 0.01 * cv::arcLength(rounded, true), true);
    return quadFromPolygon(poly, size, out);
}

void CandidateFinder::addFromContours(const std::vector<std::vector<cv::Point>>& contours,
                                      std::vector<Quad>* out) const
{
    const cv::Size size = m_planes.size();
    const float tolerance = 0.01f * static_cast<float>(size.width + size.height);
    for (const std::vector<cv::Point>& c : contours) {
        if (c.size() < 8)
            continue;
        const cv::Rect box = cv::boundingRect(c);
        if (static_cast<double>(box.area()) < m_minArea)
            continue;
        std::vector<cv::Point> hull;
        cv::convexHull(c, hull);
        const double area = cv::contourArea(hull);
        if (area < m_minArea)
            continue;
        const double perimeter = cv::arcLength(hull, true);
        for (double eps : {0.012, 0.025, 0.05}) {
            const std::vector<cv::Point> poly = simplifiedHull(hull, size, eps * perimeter);
            Quad q;
            if (quadFromPolygon(poly, size, &q) && !nearDuplicate(q, *out, tolerance))
                out->push_back(q);
        }
    }
}

void CandidateFinder::addFromMask(const cv::Mat& mask, std::vector<Quad>* out) const
{
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(mask, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    addFromContours(contours, out);
}

std::vector<Quad> CandidateFinder::find() const
{
    std::vector<Quad> out;
    cv::Mat grey, edges, more;
    cv::extractChannel(m_planes, grey, 0);
    cv::Canny(grey, edges, 12, 30, 3, true);
    cv::Canny(m_sat, more, 10, 25, 3, true);
    edges |= more;
    // Colour edges: a card's printed band or a tinted sheet on a desk of
    // the same brightness.
    for (int c = 1; c <= 2; ++c) {
        cv::Mat plane;
        cv::extractChannel(m_planes, plane, c);
        cv::Canny(plane, more, 8, 20, 3, true);
        edges |= more;
    }
    cv::dilate(edges, edges, cv::Mat());
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(edges, contours, cv::RETR_LIST, cv::CHAIN_APPROX_SIMPLE);
    addFromContours(contours, &out);

    cv::Mat mask;
    cv::threshold(grey, mask, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    addFromMask(mask, &out);
    cv::threshold(m_sat, mask, 0, 255, cv::THRESH_BINARY_INV | cv::THRESH_OTSU);
    addFromMask(mask, &out);
    return out;
}
