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

// The quadrilateral bounded by four lines taken in turn; false unless it is
// convex, big enough and its corners within half a picture of the frame.
bool quadFromLines(const Line2 sides[4], cv::Size size, double minArea, Quad* out)
{
    Quad quad;
    for (int i = 0; i < 4; ++i) {
        if (!quad_geometry::intersect(sides[i], sides[(i + 1) % 4], &quad.p[i]))
            return false;
    }
    quad = quad_geometry::ordered(quad);
    if (!quad_geometry::isConvex(quad) || std::abs(quad_geometry::signedArea(quad)) < minArea)
        return false;
    for (const cv::Point2f& c : quad.p) {
        if (c.x < -0.5f * size.width || c.x > 1.5f * size.width || c.y < -0.5f * size.height
            || c.y > 1.5f * size.height)
            return false;
    }
    *out = quad;
    return true;
}

// Text rows, table rules and picture borders run parallel to a page's sides,
// so in each of the two main directions the page's sides are the outermost
// lines. Proposes the quadrilaterals of the outermost (and next outermost)
// lines of the two strongest, roughly perpendicular directions.
void addOutermost(const std::vector<cv::Vec2f>& lines, cv::Size size, double minArea,
                  std::vector<Quad>* out)
{
    constexpr int kBins = 45;  // 4 degrees each
    float votes[kBins] = {0};
    for (size_t i = 0; i < lines.size(); ++i)
        votes[static_cast<int>(lines[i][1] / CV_PI * kBins) % kBins] += 1.0f / (1 + 0.05f * i);
    auto spread = [&](int b) { return votes[(b + kBins - 1) % kBins] + votes[b] + votes[(b + 1) % kBins]; };
    int first = 0;
    for (int b = 1; b < kBins; ++b)
        first = spread(b) > spread(first) ? b : first;
    int second = -1;
    for (int b = 0; b < kBins; ++b) {
        const int apart = std::min(std::abs(b - first), kBins - std::abs(b - first));
        if (apart >= kBins / 3 && (second < 0 || spread(b) > spread(second)))
            second = b;
    }
    if (second < 0 || spread(second) == 0)
        return;
    // Lines of one direction as offsets along its normal, outermost first.
    auto family = [&](int bin) {
        const float theta = static_cast<float>((bin + 0.5) * CV_PI / kBins);
        const cv::Point2f n(std::cos(theta), std::sin(theta));
        std::vector<std::pair<float, Line2>> members;
        for (const cv::Vec2f& l : lines) {
            float d = std::abs(l[1] - theta);
            d = std::min(d, static_cast<float>(CV_PI) - d);
            if (d > 6 * CV_PI / 180)
                continue;
            const cv::Point2f ln(std::cos(l[1]), std::sin(l[1]));
            const float rho = ln.dot(n) >= 0 ? l[0] : -l[0];
            members.emplace_back(rho, Line2{ln * l[0], cv::Point2f(-ln.y, ln.x)});
        }
        std::sort(members.begin(), members.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        return members;
    };
    const auto a = family(first), b = family(second);
    if (a.size() < 2 || b.size() < 2)
        return;
    const size_t na = a.size(), nb = b.size();
    for (size_t i = 0; i < 2 && i < na; ++i)
        for (size_t j = 0; j < 2 && j + 1 + i < na; ++j)
            for (size_t k = 0; k < 2 && k < nb; ++k)
                for (size_t m = 0; m < 2 && m + 1 + k < nb; ++m) {
                    const Line2 sides[4] = {a[i].second, b[k].second, a[na - 1 - j].second, b[nb - 1 - m].second};
                    Quad q;
                    if (quadFromLines(sides, size, minArea, &q))
                        out->push_back(q);
                }
}

// Line source limits: lines kept, and quadrilaterals proposed from them.
constexpr size_t kMaxLines = 18;
constexpr size_t kMaxLineQuads = 160;
constexpr size_t kMaxOutermostLines = 60;
// Share of the sensitive edge map beyond which lines are not looked for.
constexpr double kMaxLineEdgeShare = 0.15;
// An outline may grow by this share to take in one lying mostly inside it.
constexpr double kMaxCoverGrowth = 1.1;
// Straight pieces of a region's outline that may be a sheet's sides: the
// outline simplified to this share of its length, pieces of at least
// kMinPiece of it, the kMaxPieces longest.
constexpr double kMinPiece = 0.03;
constexpr size_t kMaxPieces = 10;
// A side of a sheet lying across a book or a folder is no piece of the
// merged region's outline at all: it is looked for as a step across the
// region between two parallel pieces, on this many samples, of at least
// kScanStep levels in one direction on kScanSupport of them.
constexpr int kScanSamples = 24;
constexpr float kScanStep = 12.0f;
constexpr float kScanSupport = 0.8f;
constexpr int kMaxScans = 6;
// Share of the brightest level (98th percentile) that the paper mask takes.
constexpr double kBrightShare = 0.8;

// The planes' largest step across p along n (3 pixels either side).
float stepAcross(const cv::Mat& planes, cv::Point2f p, cv::Point2f n, int* sign)
{
    const cv::Point2f a = p - n * 3.0f, b = p + n * 3.0f;
    const int ax = cvRound(a.x), ay = cvRound(a.y), bx = cvRound(b.x), by = cvRound(b.y);
    if (ax < 0 || ay < 0 || bx < 0 || by < 0 || ax >= planes.cols || bx >= planes.cols || ay >= planes.rows
        || by >= planes.rows)
        return 0;
    const cv::Vec3b va = planes.at<cv::Vec3b>(ay, ax), vb = planes.at<cv::Vec3b>(by, bx);
    float best = 0;
    for (int c = 0; c < 3; ++c) {
        const float d = static_cast<float>(vb[c]) - va[c];
        if (std::abs(d) > std::abs(best)) {
            best = d;
            *sign = (c + 1) * (d > 0 ? 1 : -1);
        }
    }
    return std::abs(best);
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
    // Merge runs of near-collinear real sides; remember how much frame edge
    // lies in the gap before each.
    std::vector<Side> real;
    std::vector<float> borderBefore;
    float pending = 0;
    for (const Side& s : sides) {
        if (s.border) {
            pending += s.length();
            continue;
        }
        if (!real.empty() && pending == 0 && angleBetween(real.back(), s) < 12.0f) {
            real.back().b = s.b;
            continue;
        }
        real.push_back(s);
        borderBefore.push_back(pending);
        pending = 0;
    }
    if (real.empty())
        return false;
    borderBefore[0] += pending;
    if (real.size() >= 2 && borderBefore[0] == 0
        && angleBetween(real.back(), real.front()) < 12.0f) {
        real.front().a = real.back().a;
        borderBefore[0] = borderBefore.back();
        real.pop_back();
        borderBefore.pop_back();
    }
    // Short pieces (chamfered corners, fingers) are not sides.
    const float minSide = static_cast<float>(perimeter) * 0.05f;
    std::vector<Side> kept;
    std::vector<float> keptBorder;
    float carry = 0;
    for (size_t i = 0; i < real.size(); ++i) {
        carry += borderBefore[i];
        if (real[i].length() < minSide)
            continue;
        kept.push_back(real[i]);
        keptBorder.push_back(carry);
        carry = 0;
    }
    if (kept.empty())
        return false;
    keptBorder[0] += carry;
    while (kept.size() > 4) {
        size_t shortest = 0;
        for (size_t i = 1; i < kept.size(); ++i) {
            if (kept[i].length() < kept[shortest].length())
                shortest = i;
        }
        const float gap = keptBorder[shortest];
        kept.erase(kept.begin() + static_cast<long>(shortest));
        keptBorder.erase(keptBorder.begin() + static_cast<long>(shortest));
        keptBorder[shortest % kept.size()] += gap;
    }
    // With three real sides, the page runs off the frame across the longest
    // stretch of frame edge: that edge stands in for the missing side.
    size_t cut = kept.size();
    if (kept.size() == 3) {
        cut = static_cast<size_t>(std::max_element(keptBorder.begin(), keptBorder.end()) - keptBorder.begin());
        if (keptBorder[cut] < minSide * 0.5f)
            return false;
    }
    std::vector<Line2> lines;
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i == cut) {
            const cv::Point2f from = kept[(i + 2) % 3].b, to = kept[i].a;
            lines.push_back(Line2{from, (to - from) / std::max(1e-3f, static_cast<float>(cv::norm(to - from)))});
        }
        const cv::Point2f d = kept[i].b - kept[i].a;
        lines.push_back(Line2{kept[i].a, d / kept[i].length()});
    }
    if (lines.size() != 4)
        return false;
    Quad q;
    if (!quad_geometry::fromSides(lines.data(), &q))
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
    return quadFromHull(hull, size, out);
}

bool CandidateFinder::coverOf(const Quad& outer, const Quad& inner, cv::Size size, Quad* out)
{
    std::vector<cv::Point2f> points(outer.p.begin(), outer.p.end());
    points.insert(points.end(), inner.p.begin(), inner.p.end());
    std::vector<cv::Point2f> hull;
    cv::convexHull(points, hull);
    if (cv::contourArea(hull) > kMaxCoverGrowth * std::abs(quad_geometry::signedArea(outer)))
        return false;
    return quadFromHull(hull, size, out);
}

bool CandidateFinder::quadFromHull(const std::vector<cv::Point2f>& hull, cv::Size size, Quad* out)
{
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

std::vector<std::pair<double, Line2>> CandidateFinder::straightPieces(const std::vector<cv::Point>& contour, cv::Size size)
{
    const double perimeter = cv::arcLength(contour, true);
    std::vector<cv::Point> poly;
    cv::approxPolyDP(contour, poly, kSideEpsilon * perimeter, true);
    std::vector<std::pair<double, Line2>> pieces;
    if (poly.size() <= 4)
        return pieces;
    for (size_t i = 0; i < poly.size(); ++i) {
        const cv::Point a = poly[i], b = poly[(i + 1) % poly.size()];
        const double length = cv::norm(b - a);
        if (length < kMinPiece * perimeter || onSameBorder(a, b, size))
            continue;
        const cv::Point2f d = cv::Point2f(b - a) / static_cast<float>(length);
        pieces.emplace_back(length, Line2{cv::Point2f(a), d});
    }
    std::sort(pieces.begin(), pieces.end(), [](const auto& x, const auto& y) { return x.first > y.first; });
    if (pieces.size() > kMaxPieces)
        pieces.resize(kMaxPieces);
    return pieces;
}

void CandidateFinder::addFromSides(const std::vector<cv::Point>& contour, std::vector<Quad>* out) const
{
    // A sheet lying partly over another (or over a folder) merges with it
    // into one region that is no quadrilateral; but each of the sheet's
    // sides shows, at least in part, as a straight piece of the region's
    // outline. Pieces two by two roughly parallel make its proposals.
    if (contour.size() < 8 || cv::contourArea(contour) < m_minArea)
        return;
    const cv::Size size = m_planes.size();
    const std::vector<std::pair<double, Line2>> pieces = straightPieces(contour, size);
    if (pieces.empty())
        return;
    const auto angleOf = [](const Line2& a, const Line2& b) {
        const float c = std::abs(a.dir.dot(b.dir));
        return std::acos(std::min(1.0f, c)) * 180.0f / static_cast<float>(CV_PI);
    };
    const float shortSide = static_cast<float>(std::min(size.width, size.height));
    std::vector<std::pair<size_t, size_t>> pairs;
    for (size_t i = 0; i < pieces.size(); ++i)
        for (size_t j = i + 1; j < pieces.size(); ++j) {
            const Line2& a = pieces[i].second;
            const Line2& b = pieces[j].second;
            const cv::Point2f n(-a.dir.y, a.dir.x);
            if (angleOf(a, b) <= 20 && std::abs((b.point - a.point).dot(n)) >= 0.1f * shortSide)
                pairs.emplace_back(i, j);
        }
    const float tolerance = 0.01f * static_cast<float>(size.width + size.height);
    // Two parallel pieces and one across them: the fourth side is looked
    // for across the region.
    const cv::Moments m = cv::moments(contour);
    const cv::Point2f centroid(static_cast<float>(m.m10 / m.m00), static_cast<float>(m.m01 / m.m00));
    int scans = 0;
    for (size_t p = 0; p < pairs.size() && scans < kMaxScans; ++p)
        for (size_t k = 0; k < pieces.size() && scans < kMaxScans; ++k) {
            const Line2& a = pieces[pairs[p].first].second;
            const Line2& b = pieces[pairs[p].second].second;
            const Line2& c = pieces[k].second;
            if (k == pairs[p].first || k == pairs[p].second || angleOf(a, c) < 60)
                continue;
            const cv::Point2f n(-c.dir.y, c.dir.x);
            const cv::Point2f inward = (centroid - c.point).dot(n) >= 0 ? n : -n;
            double reach = 0;
            for (const cv::Point& pt : contour)
                reach = std::max(reach, static_cast<double>((cv::Point2f(pt) - c.point).dot(inward)));
            ++scans;
            Line2 d;
            if (!scanFourthSide(a, b, c, reach, inward, &d))
                continue;
            const Line2 sides[4] = {a, c, b, d};
            Quad quad;
            if (quadFromLines(sides, size, m_minArea, &quad) && !nearDuplicate(quad, *out, tolerance))
                out->push_back(quad);
        }
    for (size_t p = 0; p < pairs.size(); ++p)
        for (size_t q = p + 1; q < pairs.size(); ++q) {
            if (angleOf(pieces[pairs[p].first].second, pieces[pairs[q].first].second) < 60)
                continue;
            const Line2 sides[4] = {pieces[pairs[p].first].second, pieces[pairs[q].first].second,
                                    pieces[pairs[p].second].second, pieces[pairs[q].second].second};
            Quad quad;
            if (quadFromLines(sides, size, m_minArea, &quad) && !nearDuplicate(quad, *out, tolerance))
                out->push_back(quad);
        }
}

bool CandidateFinder::scanFourthSide(const Line2& a, const Line2& b, const Line2& c, double reach, cv::Point2f inward,
                                     Line2* out) const
{
    // Lines parallel to c, stepping inwards from a fifth of the region's
    // depth; the first that most samples see as one step is the side.
    float best = 0;
    double bestAt = -1;
    for (double t = 0.2 * reach; t < reach - 4; t += 1.0) {
        const Line2 line{c.point + inward * static_cast<float>(t), c.dir};
        cv::Point2f p1, p2;
        if (!quad_geometry::intersect(line, a, &p1) || !quad_geometry::intersect(line, b, &p2))
            return false;
        int counts[7] = {0};
        for (int i = 0; i < kScanSamples; ++i) {
            const cv::Point2f p = p1 + (p2 - p1) * (0.1f + 0.8f * (i + 0.5f) / kScanSamples);
            int sign = 0;
            if (stepAcross(m_planes, p, inward, &sign) >= kScanStep)
                ++counts[sign + 3];
        }
        const float support = static_cast<float>(*std::max_element(counts, counts + 7)) / kScanSamples;
        if (support > best) {
            best = support;
            bestAt = t;
        }
    }
    if (best < kScanSupport)
        return false;
    *out = Line2{c.point + inward * static_cast<float>(bestAt), c.dir};
    return true;
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

std::vector<Quad> CandidateFinder::findOnCrowdedDesk() const
{
    std::vector<Quad> out;
    cv::Mat grey;
    cv::extractChannel(m_planes, grey, 0);
    // Paper is the brightest thing on most desks: what is nearly as bright
    // as the brightest parts stands apart from a dark book or a folder it
    // lies on, which the two-way split may join to it.
    int histogram[256] = {0};
    for (int y = 0; y < grey.rows; y += 2) {
        const unsigned char* g = grey.ptr<unsigned char>(y);
        for (int x = 0; x < grey.cols; x += 2)
            ++histogram[g[x]];
    }
    const int total = ((grey.rows + 1) / 2) * ((grey.cols + 1) / 2);
    int seen = 0, level = 255;
    while (level > 0 && (seen += histogram[level]) * 50 < total)
        --level;
    cv::Mat masks[3];
    cv::threshold(grey, masks[0], kBrightShare * level, 255, cv::THRESH_BINARY);
    cv::threshold(grey, masks[1], 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    cv::threshold(m_sat, masks[2], 0, 255, cv::THRESH_BINARY_INV | cv::THRESH_OTSU);
    for (int i = 0; i < 3; ++i) {
        std::vector<std::vector<cv::Point>> contours;
        cv::findContours(masks[i], contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
        if (i == 0)
            addFromContours(contours, &out);
        for (const std::vector<cv::Point>& c : contours)
            addFromSides(c, &out);
    }
    return out;
}

std::vector<Quad> CandidateFinder::findFromLines(const std::vector<Quad>& exclude) const
{
    const cv::Size size = m_planes.size();
    cv::Mat grey, edges;
    cv::extractChannel(m_planes, grey, 0);
    cv::GaussianBlur(grey, grey, cv::Size(5, 5), 0);
    cv::Canny(grey, edges, 3, 8, 3, true);
    // Faint pages lie on quiet desks; where even this sensitive map is
    // crowded (woven cloth, clutter), lines would be noise and cost most.
    if (cv::countNonZero(edges) > kMaxLineEdgeShare * edges.total())
        return {};
    for (const Quad& q : exclude) {
        std::vector<cv::Point> poly;
        for (const cv::Point2f& p : q.p)
            poly.emplace_back(cvRound(p.x), cvRound(p.y));
        cv::fillConvexPoly(edges, poly, cv::Scalar(0));
        cv::polylines(edges, poly, true, cv::Scalar(0), 7);
    }
    const int shortSide = std::min(size.width, size.height);
    std::vector<cv::Vec2f> found;
    // Coarse bins are enough: the lines only propose, the sides are fitted
    // afterwards.
    cv::HoughLines(edges, found, 1, CV_PI / 120, std::max(20, shortSide / 8));
    // Strongest first (OpenCV's order); drop near-repeats of a kept line.
    std::vector<cv::Vec2f> lines;
    for (const cv::Vec2f& l : found) {
        bool repeat = false;
        for (const cv::Vec2f& k : lines) {
            float dTheta = std::abs(l[1] - k[1]);
            float dRho = std::abs(l[0] - k[0]);
            if (dTheta > CV_PI / 2) {
                dTheta = static_cast<float>(CV_PI) - dTheta;
                dRho = std::abs(l[0] + k[0]);
            }
            if (dTheta < 5 * CV_PI / 180 && dRho < 8) {
                repeat = true;
                break;
            }
        }
        if (!repeat)
            lines.push_back(l);
        if (lines.size() >= kMaxLines)
            break;
    }
    auto toLine = [](const cv::Vec2f& l) {
        const float c = std::cos(l[1]), s = std::sin(l[1]);
        return Line2{cv::Point2f(c * l[0], s * l[0]), cv::Point2f(-s, c)};
    };
    auto angleOf = [](const cv::Vec2f& a, const cv::Vec2f& b) {
        float d = std::abs(a[1] - b[1]);
        if (d > CV_PI / 2)
            d = static_cast<float>(CV_PI) - d;
        return d * 180.0f / static_cast<float>(CV_PI);
    };
    // Pairs of roughly parallel lines a page's width apart.
    std::vector<std::pair<size_t, size_t>> pairs;
    for (size_t i = 0; i < lines.size(); ++i) {
        for (size_t j = i + 1; j < lines.size(); ++j) {
            if (angleOf(lines[i], lines[j]) > 25)
                continue;
            const Line2 a = toLine(lines[i]), b = toLine(lines[j]);
            const cv::Point2f n(-a.dir.y, a.dir.x);
            const float gap = std::abs((b.point - a.point).dot(n));
            if (gap >= 0.12f * shortSide)
                pairs.emplace_back(i, j);
        }
    }
    std::vector<Quad> out;
    if (found.size() > kMaxOutermostLines)
        found.resize(kMaxOutermostLines);
    addOutermost(found, size, m_minArea, &out);
    // Pairs come strongest lines first, so the cap keeps the likeliest.

    for (size_t p = 0; p < pairs.size(); ++p) {
        for (size_t q = p + 1; q < pairs.size(); ++q) {
            const float cross = angleOf(lines[pairs[p].first], lines[pairs[q].first]);
            if (cross < 60)
                continue;
            const Line2 sides[4] = {toLine(lines[pairs[p].first]), toLine(lines[pairs[q].first]),
                                    toLine(lines[pairs[p].second]), toLine(lines[pairs[q].second])};
            Quad quad;
            if (quadFromLines(sides, size, m_minArea, &quad))
                out.push_back(quad);
            if (out.size() >= kMaxLineQuads)
                return out;
        }
    }
    return out;
}
