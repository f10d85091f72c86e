#include "sheet_on_sheet.h"

#include "candidate_finder.h"
#include "desk_tint.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

// Share of the brightest level that counts as paper.
constexpr double kPaperShare = 0.8;
// Two sheets overlapping: the region turns in this deep (work pixels).
constexpr float kMinDepth = 2.0f;
// A rim: a line this much darker than the paper either side of it (grey
// levels), in straight pieces of this share of the short side at least;
// the longest kMaxRims. Its thin places are kept where no more than
// kMaxCrowd lie in the 5x5 square around one (print is dense).
constexpr int kRimDip = 8;
constexpr float kMinRimPiece = 0.08f;
constexpr size_t kMaxRims = 12;
constexpr int kMaxCrowd = 16;
// Rims are looked for this many pixels in from the paper's outline.
constexpr int kRimInset = 2;
// A side across another sheet may show as no more than a step between the
// two papers' shades: an edge of this strength (the lower of the edge
// finder's two thresholds) at least kStepInset pixels in from the paper's
// outline, with bright paper kStepReach pixels either side of it. The
// longest kMaxStepRims such lines are taken besides the rims.
constexpr double kShadeStep = 9;
constexpr int kStepInset = 4;
constexpr float kStepReach = 3.0f;
constexpr size_t kMaxStepRims = 4;
// A line found at half size is fitted again to the thin places within
// this many pixels of it.
constexpr float kRefit = 2.5f;
// Rims are looked for within this many degrees of the merged outline's
// sides: two sheets on a desk lie roughly alike.
constexpr double kTurn = 8;
// A side over the desk: a step of this much in a plane.
constexpr float kRimStep = 6.0f;
// Between two sheets: a step of this much in brightness, on average.
constexpr int kPaperStep = 4;
// Sides are read every kSpacing pixels; only runs of kMinRun samples seen
// one after another count.
constexpr float kSpacing = 1.5f;
constexpr int kMinRun = 4;
// The paper fills this share of the merged outline at least: two sheets,
// not a sheet with a coloured band or picture. Down to kLowFill the pick
// may be a page with part of what it lies on (a book, a keyboard, a
// folder); then the page is the whole outline of the paper alone, with a
// side across other paper on no more than kMostRimsOnThing of its sides
// (a shadow across a page cuts it along a shade step, a card's band and
// picture cut its white part out along two).
constexpr double kMinFill = 0.8;
constexpr double kLowFill = 0.45;
constexpr int kMostRimsOnThing = 1;
// Beyond a side, something neither desk nor paper that runs on outwards
// for this share of the outline's depth is a thing the page lies on; a
// picture printed on a sheet has paper beyond it, a card's band the desk.
constexpr float kUnderReach = 0.5f;
// Sides of one outline: opposite ones within kParallel degrees and
// kMinSpan of the short side apart, neighbours at least kAcross degrees.
constexpr float kParallel = 20.0f;
constexpr float kMinSpan = 0.1f;
constexpr float kAcross = 60.0f;
// The page: each side seen on this share of its samples, on average this
// share; at least kMinPart of the merged outline, and what it leaves of
// the paper no less than kMinUnder of it.
constexpr float kSideSupport = 0.7f;
constexpr float kMeanSupport = 0.8f;
constexpr double kMinPart = 0.3;
constexpr double kMinUnder = 0.08;
// A side runs on past a corner when seen on this share of kPastCorner of
// the short side beyond it.
constexpr float kPastCorner = 0.1f;
constexpr float kRunsOn = 0.75f;
// ...or of as much as the frame shows of that, down to this share.
constexpr float kFramedReach = 0.5f;
// A rim's last kRimEnd of its length at either end is seen on this share.
constexpr float kRimEnd = 0.12f;
constexpr float kRimEndSupport = 0.6f;
// The paper's inside: this many pixels in from the region's outline.
constexpr int kInterior = 3;
// The desk is read in a ring this many pixels wide around the merged
// outline; a side over it has the desk kDeskReach pixels beyond it on
// kDeskBeyond of its length, within kDeskTolerance levels per plane (or
// three deviations of a busy desk).
constexpr int kDeskRing = 8;
constexpr float kDeskReach = 4.0f;
constexpr float kDeskBeyond = 0.5f;
constexpr float kDeskTolerance = 12.0f;
// Paper in shade: at least this share of the brightest level, each colour
// plane within kNeutral of grey.
constexpr float kShadedPaper = 0.45f;
constexpr int kNeutral = 6;
// The paper is looked for this far around the search's outline (scale).
constexpr float kBeyondMerged = 1.3f;
// Corners may lie this far outside the paper's hull (work pixels).
constexpr double kOutside = 3.0;

bool inside(const cv::Mat& m, cv::Point p)
{
    return p.x >= 0 && p.y >= 0 && p.x < m.cols && p.y < m.rows;
}

// The largest outer outline of a mask, every pixel of it.
std::vector<cv::Point> largestOutline(const cv::Mat& mask)
{
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(mask, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    std::vector<cv::Point> best;
    double bestArea = 0;
    for (std::vector<cv::Point>& c : contours) {
        const double a = cv::contourArea(c);
        if (a > bestArea) {
            bestArea = a;
            best = std::move(c);
        }
    }
    return best;
}

// Otsu's cut between the two kinds of brightness under `mask` (the desk
// and the paper): pixels above it are the brighter kind.
double otsuCut(const cv::Mat& grey, const cv::Mat& mask)
{
    cv::Mat histogram;
    const int channels[] = {0};
    const int bins[] = {256};
    const float range[] = {0, 256};
    const float* ranges[] = {range};
    cv::calcHist(&grey, 1, channels, mask, histogram, 1, bins, ranges);
    double total = 0, sum = 0;
    for (int i = 0; i < 256; ++i) {
        total += histogram.at<float>(i);
        sum += i * histogram.at<float>(i);
    }
    double below = 0, belowSum = 0, best = -1;
    int cut = 0;
    for (int i = 0; i < 255; ++i) {
        below += histogram.at<float>(i);
        belowSum += i * histogram.at<float>(i);
        const double above = total - below;
        if (below <= 0 || above <= 0)
            continue;
        const double m0 = belowSum / below, m1 = (sum - belowSum) / above;
        const double between = below * above * (m0 - m1) * (m0 - m1);
        if (between > best) {
            best = between;
            cut = i;
        }
    }
    return cut;
}

bool onOneBorder(cv::Point2f a, cv::Point2f b, cv::Size size)
{
    const float m = 2.0f;
    return (a.x < m && b.x < m) || (a.y < m && b.y < m) || (a.x > size.width - 1 - m && b.x > size.width - 1 - m)
        || (a.y > size.height - 1 - m && b.y > size.height - 1 - m);
}

} // namespace

SheetOnSheet::SheetOnSheet(const cv::Mat& closedGrey, const cv::Mat& grey, const cv::Mat& planes, float bright,
                           const DeskTint& tint)
    : m_closed(closedGrey), m_grey(grey), m_planes(planes), m_bright(bright), m_tint(tint)
{
}

bool SheetOnSheet::ridgeAt(cv::Point2f p, cv::Point2f n) const
{
    // Darkest of three places across, then paper a little way either side
    // of it: a thin line, not the edge of a dark area.
    int best = 256, at = 0;
    for (int k = -1; k <= 1; ++k) {
        const cv::Point q(cvRound(p.x + n.x * k), cvRound(p.y + n.y * k));
        if (!inside(m_grey, q))
            return false;
        const int v = m_grey.at<uchar>(q);
        if (v < best) {
            best = v;
            at = k;
        }
    }
    const float paper = static_cast<float>(0.6 * m_bright);
    for (int side : {-1, 1}) {
        // Two or three pixels out: a line up to three pixels wide.
        int v = -1;
        for (int k = 2; k <= 3; ++k) {
            const cv::Point q(cvRound(p.x + n.x * (at + side * k)), cvRound(p.y + n.y * (at + side * k)));
            if (inside(m_grey, q))
                v = std::max(v, static_cast<int>(m_grey.at<uchar>(q)));
        }
        if (v < best + kRimDip || v < paper)
            return false;
    }
    return true;
}

bool SheetOnSheet::stepAt(cv::Point2f p, cv::Point2f n) const
{
    // Plane values from 3 pixels before the line to 3 beyond it.
    cv::Vec3b v[7];
    for (int i = 0; i < 7; ++i) {
        const cv::Point q(cvRound(p.x + (i - 3) * n.x), cvRound(p.y + (i - 3) * n.y));
        if (!inside(m_planes, q))
            return false;
        v[i] = m_planes.at<cv::Vec3b>(q);
    }
    // The steepest part of the step on the line or a pixel off it, not
    // further: the smoothed flank of an edge a few pixels away steps too.
    int steepest = 0, at = 0;
    for (int i = 1; i < 6; ++i) {
        for (int c = 0; c < 3; ++c) {
            const int d = std::abs(static_cast<int>(v[i + 1][c]) - v[i - 1][c]);
            if (d > steepest) {
                steepest = d;
                at = i - 3;
            }
        }
    }
    return steepest >= kRimStep && std::abs(at) <= 1;
}

bool SheetOnSheet::paperAt(const cv::Vec3b& planes) const
{
    return planes[0] >= kShadedPaper * m_bright && std::abs(planes[1] - 128) <= kNeutral
        && std::abs(planes[2] - 128) <= kNeutral;
}

bool SheetOnSheet::paperStepAt(cv::Point2f p, cv::Point2f out, const cv::Mat& region) const
{
    // Over the desk any step is the side.
    const cv::Point beyond(cvRound(p.x + 3 * out.x), cvRound(p.y + 3 * out.y));
    if (!inside(region, beyond) || !region.at<uchar>(beyond))
        return stepAt(p, out);
    // Within the paper only a step between paper and paper (a sheet of
    // another shade under it), not a picture's border; two sheets' shades
    // differ little, and the planes are smoothed: the step is read over a
    // few pixels either side.
    int sum[2] = {0, 0};
    for (int k = 1; k <= 3; ++k) {
        for (int side = 0; side < 2; ++side) {
            const float at = side ? k : -k;
            const cv::Point q(cvRound(p.x + at * out.x), cvRound(p.y + at * out.y));
            if (!inside(m_planes, q))
                return false;
            const cv::Vec3b v = m_planes.at<cv::Vec3b>(q);
            if (!paperAt(v))
                return false;
            sum[side] += v[0];
        }
    }
    return std::abs(sum[1] - sum[0]) >= 3 * kPaperStep;
}

bool SheetOnSheet::pictureStepAt(cv::Point2f p, cv::Point2f out) const
{
    // The page's margin ends over a picture printed on the sheet under it:
    // paper this side, no paper beyond, a step on the line. A picture's own
    // border on the page looks alike, but the whole outline must still hold
    // (the desk beyond the other sides, the sides ending at its corners).
    const cv::Point near(cvRound(p.x - 3 * out.x), cvRound(p.y - 3 * out.y));
    const cv::Point far(cvRound(p.x + 3 * out.x), cvRound(p.y + 3 * out.y));
    if (!inside(m_planes, near) || !inside(m_planes, far))
        return false;
    return paperAt(m_planes.at<cv::Vec3b>(near)) && !paperAt(m_planes.at<cv::Vec3b>(far)) && stepAt(p, out);
}

float SheetOnSheet::sideEvidence(cv::Point2f a, cv::Point2f b, Seen seen, const cv::Mat& region,
                                 cv::Point2f centre) const
{
    const float length = static_cast<float>(cv::norm(b - a));
    if (length < 4)
        return 0;
    const cv::Point2f d = (b - a) / length, n(-d.y, d.x);
    const cv::Point2f out = n.dot(a - centre) < 0 ? -n : n;
    // The side as one line, shifted a pixel either way as a whole: a rim or
    // an edge runs on unbroken, print crossed by a line only in short runs.
    // A rim a pixel wide that falls between two pixels shows at half its
    // depth there: across the paper a run goes on over one such miss (not
    // counted).
    const int bridged = seen == Seen::Across ? 1 : 0;
    float best = 0;
    for (int k = -1; k <= 1; ++k) {
        int counted = 0, run = 0, missed = 0, total = 0;
        for (float t = 0.05f * length; t <= 0.95f * length; t += kSpacing, ++total) {
            const cv::Point2f p = a + d * t + n * static_cast<float>(k);
            const bool shows = seen == Seen::Edge
                ? stepAt(p, n)
                : paperStepAt(p, out, region) || ridgeAt(p, n) || pictureStepAt(p, out);
            if (shows) {
                ++run;
                missed = 0;
            } else if (run > 0 && missed < bridged) {
                ++missed;
            } else {
                counted += run >= kMinRun ? run : 0;
                run = 0;
                missed = 0;
            }
        }
        counted += run >= kMinRun ? run : 0;
        if (total > 0)
            best = std::max(best, static_cast<float>(counted) / total);
    }
    return best;
}

bool SheetOnSheet::endsAtCorners(const Quad& q, const bool rim[4], const cv::Mat& region) const
{
    const cv::Point2f centre = quad_geometry::centre(q);
    // A rim is the page's own side: the page's sides meeting it end there
    // too. A line across one sheet (a row of print, a table's rule) meets
    // sides that run on past it, or the frame.
    const float reach = kPastCorner * std::min(m_grey.cols, m_grey.rows);
    const cv::Rect frame(2, 2, m_grey.cols - 4, m_grey.rows - 4);
    int rims = 0, ending = 0;
    for (int i = 0; i < 4; ++i) {
        const cv::Point2f a = q.p[i], b = q.p[(i + 1) % 4];
        if (!rim[i])
            continue;
        ++rims;
        // A rim reaches its corners; a row of print stops at the margins.
        if (sideEvidence(a, a + (b - a) * kRimEnd, Seen::Across, region, centre) < kRimEndSupport
            || sideEvidence(b + (a - b) * kRimEnd, b, Seen::Across, region, centre) < kRimEndSupport)
            return false;
        // Past a, the side before it; past b, the side after it.
        const cv::Point2f ends[2][2] = {{a, q.p[(i + 3) % 4]}, {b, q.p[(i + 2) % 4]}};
        for (const auto& e : ends) {
            const cv::Point2f corner = e[0], from = e[1];
            const cv::Point2f d = (corner - from) / static_cast<float>(std::max(1.0, cv::norm(corner - from)));
            // Near the frame's edge, as far as the frame shows, if that is
            // most of the way.
            float length = reach;
            while (length >= kFramedReach * reach && !frame.contains(corner + d * (3.0f + length)))
                length -= 1.0f;
            const cv::Point2f p = corner + d * 3.0f, r = corner + d * (3.0f + length);
            // Over the desk a side running on shows as a step; over the
            // other sheet's print, lines cross it anyway.
            if (!frame.contains(p) || !frame.contains(r))
                continue;
            if (sideEvidence(p, r, Seen::Edge, region, centre) >= kRunsOn)
                return false;
            ++ending;
        }
    }
    // Without a rim the outline is a whole sheet by its edges alone.
    return rims == 0 || ending > 0;
}

std::vector<Line2> SheetOnSheet::rimLines(const cv::Mat& region, const Quad& merged) const
{
    // Thin dark lines on the paper, away from its outline: a rim runs long
    // and straight, print only as far as a row of words.
    cv::Mat interior, thin;
    cv::erode(region, interior, cv::Mat(), cv::Point(-1, -1), kRimInset);
    cv::subtract(m_closed, m_grey, thin);
    cv::threshold(thin, thin, kRimDip - 1, 255, cv::THRESH_BINARY);
    thin &= interior;
    std::vector<Line2> out;
    linesAlongSides(thin, merged, kMaxRims, &out);

    // Steps between two papers' shades, where no rim shows. Print is closed
    // away in the brightness they are read on; a picture's border has
    // something dark or coloured on one side and is left out.
    cv::Mat inner;
    cv::erode(interior, inner, cv::Mat(), cv::Point(-1, -1), kStepInset - kRimInset);
    const cv::Rect marked = cv::boundingRect(inner);
    if (marked.empty())
        return out;
    // The edge finder reads a few pixels around each place it marks.
    const cv::Rect box = (marked + cv::Size(2 * kStepInset, 2 * kStepInset) - cv::Point(kStepInset, kStepInset))
        & cv::Rect(cv::Point(0, 0), region.size());
    cv::Mat steps(region.size(), CV_8U, cv::Scalar(0));
    cv::Mat boxed = steps(box);
    cv::Canny(m_closed(box), boxed, kShadeStep, 2 * kShadeStep);
    steps &= inner;
    std::vector<cv::Point> places;
    cv::findNonZero(steps, places);
    for (const cv::Point& p : places) {
        if (!shadeStepAt(p))
            steps.at<uchar>(p) = 0;
    }
    linesAlongSides(steps, merged, out.size() + kMaxStepRims, &out);
    return out;
}

bool SheetOnSheet::shadeStepAt(cv::Point p) const
{
    if (p.x < 1 || p.y < 1 || p.x >= m_closed.cols - 1 || p.y >= m_closed.rows - 1)
        return false;
    // Across the step: along the brightness gradient (a Sobel kernel).
    const auto at = [&](int dx, int dy) { return static_cast<float>(m_closed.at<uchar>(p.y + dy, p.x + dx)); };
    const float gx = at(1, -1) + 2 * at(1, 0) + at(1, 1) - at(-1, -1) - 2 * at(-1, 0) - at(-1, 1);
    const float gy = at(-1, 1) + 2 * at(0, 1) + at(1, 1) - at(-1, -1) - 2 * at(0, -1) - at(1, -1);
    const float norm = std::hypot(gx, gy);
    if (norm <= 0)
        return false;
    const cv::Point2f across(gx / norm * kStepReach, gy / norm * kStepReach);
    const cv::Point a(cvRound(p.x + across.x), cvRound(p.y + across.y));
    const cv::Point b(cvRound(p.x - across.x), cvRound(p.y - across.y));
    if (!inside(m_planes, a) || !inside(m_planes, b))
        return false;
    const cv::Vec3b& pa = m_planes.at<cv::Vec3b>(a);
    const cv::Vec3b& pb = m_planes.at<cv::Vec3b>(b);
    const float floor = kShadedPaper * m_bright;
    // The upper sheet is plain paper; the one under it may be tinted.
    return pa[0] >= floor && pb[0] >= floor && (paperAt(pa) || paperAt(pb));
}

void SheetOnSheet::linesAlongSides(cv::Mat& marks, const Quad& merged, size_t most, std::vector<Line2>* out) const
{
    // Print is dense, a rim alone: keep the marks with few others around
    // them (a line three pixels wide marks 15 of a 5x5 square).
    cv::Mat crowd;
    cv::boxFilter(marks, crowd, CV_16U, cv::Size(5, 5), cv::Point(-1, -1), false);
    marks.setTo(cv::Scalar(0), crowd > kMaxCrowd * 255);
    // Lines are looked for at half size (a quarter of the places to vote
    // from), along the merged outline's sides only (two sheets on a desk lie
    // roughly alike), the longest first.
    cv::Mat half;
    cv::resize(marks, half, cv::Size(marks.cols / 2, marks.rows / 2), 0, 0, cv::INTER_AREA);
    cv::threshold(half, half, 0, 255, cv::THRESH_BINARY);
    const double minLength = kMinRimPiece * std::min(marks.cols, marks.rows);
    std::vector<cv::Vec4i> segments;
    cv::HoughLinesP(half, segments, 1, CV_PI / 180, static_cast<int>(minLength / 4), minLength / 2, 1);
    cv::Point2f sides[4];
    for (int i = 0; i < 4; ++i) {
        const cv::Point2f d = merged.p[(i + 1) % 4] - merged.p[i];
        sides[i] = d / static_cast<float>(std::max(1.0, cv::norm(d)));
    }
    const float alike = static_cast<float>(std::cos(kTurn * CV_PI / 180));
    std::vector<std::pair<float, Line2>> lines;
    for (const cv::Vec4i& h : segments) {
        const cv::Point2f a(2.0f * h[0] + 0.5f, 2.0f * h[1] + 0.5f), b(2.0f * h[2] + 0.5f, 2.0f * h[3] + 0.5f);
        const float length = static_cast<float>(cv::norm(b - a));
        const cv::Point2f dir = (b - a) / length;
        if (std::any_of(std::begin(sides), std::end(sides), [&](const cv::Point2f& d) { return std::abs(d.dot(dir)) >= alike; }))
            lines.emplace_back(length, Line2{a, dir});
    }
    std::sort(lines.begin(), lines.end(), [](const auto& x, const auto& y) { return x.first > y.first; });
    // One line per place: pieces of one rim fall in line. Each is fitted
    // again to the marks within kRefit of it at full size.
    std::vector<cv::Point> points;
    cv::findNonZero(marks, points);
    for (const auto& entry : lines) {
        if (out->size() >= most)
            break;
        const float length = entry.first;
        const Line2& l = entry.second;
        const cv::Point2f n(-l.dir.y, l.dir.x);
        const bool repeat = std::any_of(out->begin(), out->end(), [&](const Line2& k) {
            const cv::Point2f kn(-k.dir.y, k.dir.x);
            return std::abs(k.dir.dot(l.dir)) > std::cos(3 * CV_PI / 180) && std::abs((l.point - k.point).dot(kn)) < 3;
        });
        if (repeat)
            continue;
        std::vector<cv::Point2f> along;
        for (const cv::Point& p : points) {
            const cv::Point2f v = cv::Point2f(p) - l.point;
            const float t = v.dot(l.dir);
            if (t >= -1 && t <= length + 1 && std::abs(v.dot(n)) <= kRefit)
                along.emplace_back(p);
        }
        if (along.size() < 8)
            continue;
        cv::Vec4f fit;
        cv::fitLine(along, fit, cv::DIST_L2, 0, 0.01, 0.01);
        out->push_back(Line2{cv::Point2f(fit[2], fit[3]), cv::Point2f(fit[0], fit[1])});
    }
}

std::vector<Line2> SheetOnSheet::outlinePieces(const std::vector<cv::Point>& contour, cv::Size size)
{
    // The region's long straight pieces are the sheets' sides over the desk.
    // The simplified outline's corners are coarse: each side is the line
    // through the outline's own pixels along its piece.
    const double band = CandidateFinder::kSideEpsilon * cv::arcLength(contour, true) + 1;
    std::vector<Line2> out;
    for (const auto& [length, piece] : CandidateFinder::straightPieces(contour, size)) {
        const cv::Point2f a = piece.point, d = piece.dir, n(-d.y, d.x);
        const float reach = static_cast<float>(length);
        std::vector<cv::Point2f> along;
        for (const cv::Point& c : contour) {
            const cv::Point2f v = cv::Point2f(c) - a;
            const float t = v.dot(d);
            if (t > 0.1f * reach && t < 0.9f * reach && std::abs(v.dot(n)) <= band)
                along.emplace_back(c);
        }
        Line2 line = piece;
        if (along.size() >= 8) {
            cv::Vec4f fit;
            cv::fitLine(along, fit, cv::DIST_L2, 0, 0.01, 0.01);
            line = Line2{cv::Point2f(fit[2], fit[3]), cv::Point2f(fit[0], fit[1])};
        }
        out.push_back(line);
    }
    return out;
}

bool SheetOnSheet::deskAround(const cv::Mat& ring, Desk* desk) const
{
    std::vector<int> values[3];
    for (int y = 0; y < ring.rows; y += 2) {
        const uchar* r = ring.ptr<uchar>(y);
        const cv::Vec3b* p = m_planes.ptr<cv::Vec3b>(y);
        for (int x = 0; x < ring.cols; x += 2) {
            if (r[x])
                for (int c = 0; c < 3; ++c)
                    values[c].push_back(p[x][c]);
        }
    }
    if (values[0].size() < 32)
        return false;
    const auto median = [](std::vector<int>& v) {
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    float spread = 0;
    for (int c = 0; c < 3; ++c) {
        const int m = median(values[c]);
        desk->level[c] = static_cast<float>(m);
        for (int& v : values[c])
            v = std::abs(v - m);
        spread = std::max(spread, static_cast<float>(median(values[c])));
    }
    desk->tolerance = std::max(kDeskTolerance, 3.0f * 1.4826f * spread);
    return true;
}

bool SheetOnSheet::deskAt(const cv::Vec3b& planes, const Desk& desk) const
{
    // The desk around the outline, or of the tint the picture's border
    // shows (the ring around may be out of frame, or on other things).
    bool near = true;
    for (int c = 0; c < 3; ++c)
        near = near && std::abs(planes[c] - desk.level[c]) <= desk.tolerance;
    return near || !m_tint.other(planes);
}

bool SheetOnSheet::lyingOn(cv::Point2f p, cv::Point2f out, float reach, const Desk& desk, const cv::Mat& region) const
{
    for (float r = 3.0f; r <= reach; r += 2.0f) {
        const cv::Point2f f = p + out * r;
        const cv::Point q(cvRound(f.x), cvRound(f.y));
        if (!inside(m_planes, q))
            return true;
        const cv::Vec3b v = m_planes.at<cv::Vec3b>(q);
        if (region.at<uchar>(q) || paperAt(v) || deskAt(v, desk))
            return false;
    }
    return true;
}

float SheetOnSheet::deskBeyond(cv::Point2f a, cv::Point2f b, cv::Point2f centre, const Desk& desk,
                               const cv::Mat& region, float* deskOnly) const
{
    const float length = static_cast<float>(cv::norm(b - a));
    if (length < 4)
        return 0;
    const cv::Point2f d = (b - a) / length;
    cv::Point2f n(-d.y, d.x);
    if (n.dot(a - centre) < 0)
        n = -n;
    const float reach = kUnderReach * 2.0f * std::abs((centre - a).dot(n));
    int like = 0, bare = 0, total = 0;
    for (float t = 0.1f * length; t <= 0.9f * length; t += 2.0f) {
        const cv::Point2f p = a + d * t + n * kDeskReach;
        const cv::Point q(cvRound(p.x), cvRound(p.y));
        if (!inside(m_planes, q))
            continue;
        ++total;
        // The other sheet, seen beyond its rim, is as good.
        if (region.at<uchar>(q)) {
            ++like;
            continue;
        }
        const cv::Vec3b v = m_planes.at<cv::Vec3b>(q);
        // ...and so is paper in the page's shade (but neither is desk).
        if (paperAt(v)) {
            ++like;
            continue;
        }
        // The desk, or a book or folder the page lies on.
        const bool near = deskAt(v, desk) || lyingOn(p, n, reach, desk, region);
        like += near;
        bare += near;
    }
    // Beyond the frame: nothing to tell.
    *deskOnly = total ? static_cast<float>(bare) / total : 1.0f;
    return total ? static_cast<float>(like) / total : 1.0f;
}

std::vector<std::pair<double, Quad>> SheetOnSheet::proposals(const std::vector<Line2>& pieces,
                                                             const std::vector<Line2>& rims,
                                                             const std::vector<cv::Point>& contour, double minArea) const
{
    // Sides from the outline and from the rims, two roughly parallel pairs
    // at a time, each pair with a side over the desk (the page has two at
    // least: the sheet under it is no larger). Largest first.
    const cv::Size size = m_grey.size();
    std::vector<Line2> sides = pieces;
    sides.insert(sides.end(), rims.begin(), rims.end());
    const auto angleOf = [](const Line2& a, const Line2& b) {
        return std::acos(std::min(1.0f, std::abs(a.dir.dot(b.dir)))) * 180.0f / static_cast<float>(CV_PI);
    };
    const float shortSide = static_cast<float>(std::min(size.width, size.height));
    std::vector<std::pair<size_t, size_t>> pairs;
    for (size_t i = 0; i < pieces.size(); ++i)
        for (size_t j = i + 1; j < sides.size(); ++j) {
            const cv::Point2f n(-sides[i].dir.y, sides[i].dir.x);
            if (angleOf(sides[i], sides[j]) <= kParallel
                && std::abs((sides[j].point - sides[i].point).dot(n)) >= kMinSpan * shortSide)
                pairs.emplace_back(i, j);
        }
    // Within the paper: the region's hull (the search's outline may cut a
    // corner of it).
    std::vector<cv::Point> hullPoints;
    cv::convexHull(contour, hullPoints);
    std::vector<std::pair<double, Quad>> outlines;
    for (size_t p = 0; p < pairs.size(); ++p)
        for (size_t q = p + 1; q < pairs.size(); ++q) {
            if (angleOf(sides[pairs[p].first], sides[pairs[q].first]) < kAcross)
                continue;
            const Line2 four[4] = {sides[pairs[p].first], sides[pairs[q].first], sides[pairs[p].second],
                                   sides[pairs[q].second]};
            Quad c;
            if (!quad_geometry::fromSides(four, &c))
                continue;
            const double area = std::abs(quad_geometry::signedArea(c));
            const bool within = std::all_of(std::begin(c.p), std::end(c.p), [&](const cv::Point2f& x) {
                return cv::pointPolygonTest(hullPoints, x, true) >= -kOutside;
            });
            if (area >= minArea && within)
                outlines.emplace_back(area, c);
        }
    std::sort(outlines.begin(), outlines.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    return outlines;
}

bool SheetOnSheet::whole(const Quad& c, const cv::Mat& region, const cv::Mat& interior, const Desk& desk,
                         int* rims) const
{
    const cv::Size size = m_grey.size();
    float weakest = 1, sum = 0;
    bool rim[4] = {false, false, false, false};
    const cv::Point2f centre = quad_geometry::centre(c);
    for (int i = 0; i < 4 && weakest >= kSideSupport; ++i) {
        const cv::Point2f a = c.p[i], b = c.p[(i + 1) % 4];
        if (onOneBorder(a, b, size)) {
            sum += 1;
            continue;
        }
        // Across the paper only a rim or a step to paper of another shade
        // is a side: a picture's border or a shadow's edge steps too.
        const cv::Point2f mid = (a + b) * 0.5f;
        const cv::Point m(cvRound(mid.x), cvRound(mid.y));
        const bool across = inside(interior, m) && interior.at<uchar>(m);
        float s = sideEvidence(a, b, Seen::Across, region, centre);
        // Beyond a side lies the desk or paper (the other sheet, or it in
        // the page's shade), not a picture printed at the page's edge; with
        // mostly paper beyond, the side is a rim.
        float bare = 0;
        if (deskBeyond(a, b, centre, desk, region, &bare) < kDeskBeyond)
            s = 0;
        rim[i] = across || bare < kDeskBeyond;
        weakest = std::min(weakest, s);
        sum += s;
    }
    *rims = rim[0] + rim[1] + rim[2] + rim[3];
    return weakest >= kSideSupport && sum / 4 >= kMeanSupport && endsAtCorners(c, rim, region);
}

bool SheetOnSheet::topSheet(const Quad& merged, Quad* out) const
{
    const cv::Size size = m_grey.size();
    // The search's outline may hold only part of the two sheets (one cut
    // at a row of print): the paper is looked for a little beyond it.
    std::vector<cv::Point> outline;
    for (const cv::Point2f& p : quad_geometry::grown(merged, kBeyondMerged).p)
        outline.emplace_back(cvRound(p.x), cvRound(p.y));
    cv::Mat within(size, CV_8U, cv::Scalar(0));
    cv::fillConvexPoly(within, outline, cv::Scalar(255));
    cv::polylines(within, std::vector<std::vector<cv::Point>>{outline}, true, cv::Scalar(255), 7);
    // Paper in shade is paper still: on a darker desk the cut between paper
    // and desk may lie lower than the brightest paper's share, never below
    // kShadedPaper of it.
    const double cut = std::min(kPaperShare * m_bright,
                                std::max(otsuCut(m_closed, within), static_cast<double>(kShadedPaper * m_bright)));
    cv::Mat region;
    cv::threshold(m_closed, region, cut, 255, cv::THRESH_BINARY);
    region &= within;
    const std::vector<cv::Point> contour = largestOutline(region);
    // Only what the frame shows of it can be paper.
    const double mergedArea = quad_geometry::visibleArea(merged, size);
    const double regionArea = contour.size() < 16 ? 0 : cv::contourArea(contour);
    // Much of the pick not bright paper: a page with part of what it lies
    // on (or a card with its band and picture, or a page in part shade,
    // which the limit on rims keeps whole).
    const bool onThing = regionArea < kMinFill * mergedArea;
    if (regionArea < kLowFill * mergedArea)
        return false;
    region.setTo(cv::Scalar(0));
    cv::drawContours(region, std::vector<std::vector<cv::Point>>{contour}, 0, cv::Scalar(255), cv::FILLED);

    // Two sheets overlapping: the region turns in where their edges meet.
    std::vector<int> hull;
    std::vector<cv::Vec4i> defects;
    cv::convexHull(contour, hull, false, false);
    try {
        cv::convexityDefects(contour, hull, defects);
    } catch (const cv::Exception&) {
        return false;
    }
    if (std::none_of(defects.begin(), defects.end(), [](const cv::Vec4i& d) { return d[3] / 256.0f >= kMinDepth; }))
        return false;
    const std::vector<Line2> rims = rimLines(region, merged);
    if (rims.empty())
        return false;
    const std::vector<std::pair<double, Quad>> outlines
        = proposals(outlinePieces(contour, size), rims, contour, kMinPart * mergedArea);
    if (outlines.empty())
        return false;

    // The desk: what lies just around where the paper was looked for, its
    // typical planes and how much they vary.
    cv::Mat ring;
    cv::dilate(within, ring, cv::Mat(), cv::Point(-1, -1), kDeskRing);
    ring &= ~within;
    Desk desk;
    if (!deskAround(ring, &desk))
        return false;
    cv::Mat interior;
    cv::erode(region, interior, cv::Mat(), cv::Point(-1, -1), kInterior);
    // The largest whole outline is the page.
    double bestArea = 0;
    Quad best;
    for (const auto& [area, c] : outlines) {
        int rims = 0;
        if (whole(c, region, interior, desk, &rims) && (!onThing || rims <= kMostRimsOnThing)) {
            bestArea = area;
            best = c;
            break;
        }
    }
    // The largest whole outline is about the region itself: one sheet, the
    // pick stands; unless the pick took in what the sheet lies on.
    if (bestArea <= 0 || (bestArea > (1 - kMinUnder) * regionArea && !onThing))
        return false;
    *out = best;
    return true;
}
