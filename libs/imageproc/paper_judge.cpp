#include "paper_judge.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Paper is at least this bright (grey levels), even in a shadow...
constexpr float kDarkest = 85.0f;
constexpr float kSureBright = 135.0f;
// ...and within this share of the brightest things in the picture.
constexpr float kLeastRelative = 0.5f;
constexpr float kSureRelative = 0.72f;
// Saturation over brightness: paper tints stay under about 0.1, a coloured
// folder or box is well above 0.3. A pixel is colourless under kColourless
// (plus a little for noise in dim light).
constexpr int kColourlessPercent = 16;
constexpr int kColourlessNoise = 6;
// Pictures may cover much of a page, but some blank paper always shows:
// its share of the inside, from not paper to surely paper.
constexpr float kLeastBlank = 0.25f;
constexpr float kSureBlank = 0.38f;
// Print connected across this share of the inside's extent both ways is a
// net (a table fills far less of a page).
constexpr float kNetSpan = 0.6f;
// Keys: the largest bright piece holds under this share of the bright
// part, and there are at least this many pieces. On a page the margins
// alone hold more.
constexpr float kLargestKey = 0.15f;
constexpr int kLeastKeys = 12;
// Bright: within this share of the inside's brightest tenth.
constexpr float kKeyBright = 0.85f;
// No bright run across a keyboard is longer than this share of its width
// (a few keys, or the space bar).
constexpr float kLongestKeyRun = 0.5f;
// Outlines this long (pixels) are judged on every second pixel.
constexpr int kHalfSampledFrom = 300;
// A pixel this much darker than its closed surroundings is print.
constexpr int kInkStep = 24;
// The paper level changes by this much over two pixels where a surface is
// textured; print is closed away before.
constexpr int kTextureStep = 7;
// The inside is judged this far in from the outline (share of the way to
// the centre), clear of the edges and of what lies beyond them.
constexpr float kInset = 0.1f;

int medianOf(const int* histogram, int total)
{
    int seen = 0, level = 0;
    while (level < 255 && (seen += histogram[level]) * 2 < total)
        ++level;
    return level;
}

float ramp(float x, float from, float to)
{
    return std::clamp((x - from) / (to - from), 0.0f, 1.0f);
}

} // namespace

PaperJudge::PaperJudge(const cv::Mat& closedGrey, const cv::Mat& grey, const cv::Mat& sat)
    : m_closed(closedGrey), m_grey(grey), m_sat(sat)
{
    // The brightest things: the 98th percentile of the closed brightness.
    int histogram[256] = {0}, total = 0;
    for (int y = 0; y < m_closed.rows; y += 2) {
        const unsigned char* c = m_closed.ptr<unsigned char>(y);
        for (int x = 0; x < m_closed.cols; x += 2, ++total)
            ++histogram[c[x]];
    }
    int seen = 0, level = 255;
    while (level > 0 && (seen += histogram[level]) * 50 < total)
        --level;
    m_bright = std::max(1, level);
}

PaperJudge::Verdict PaperJudge::judge(const Quad& q, const Quad* exclude) const
{
    Verdict v;
    cv::Point2f centre(0, 0);
    for (const cv::Point2f& p : q.p)
        centre += p * 0.25f;
    std::vector<cv::Point> inner;
    for (const cv::Point2f& p : q.p) {
        const cv::Point2f in = p + (centre - p) * kInset;
        inner.emplace_back(cvRound(in.x), cvRound(in.y));
    }
    const cv::Rect box = cv::boundingRect(inner) & cv::Rect(0, 0, m_closed.cols, m_closed.rows);
    if (box.width < 2 || box.height < 2)
        return v;
    cv::Mat mask(box.size(), CV_8U, cv::Scalar(0));
    for (cv::Point& p : inner)
        p -= box.tl();
    cv::fillConvexPoly(mask, inner, cv::Scalar(255));
    if (exclude) {
        std::vector<cv::Point> hole;
        cv::Point2f middle(0, 0);
        for (const cv::Point2f& p : exclude->p)
            middle += p * 0.25f;
        for (const cv::Point2f& p : exclude->p) {
            const cv::Point2f out = p + (p - middle) * kInset;
            hole.emplace_back(cvRound(out.x) - box.x, cvRound(out.y) - box.y);
        }
        cv::fillConvexPoly(mask, hole, cv::Scalar(0));
    }
    int brightness[256] = {0}, saturation[256] = {0}, level[256] = {0}, total = 0, ink = 0, texture = 0, colourless = 0, blank = 0;
    const int blankLevel = static_cast<int>(kLeastRelative * m_bright);
    // Every second pixel both ways is plenty for shares and medians.
    for (int y = 0; y < box.height; y += 2) {
        const unsigned char* m = mask.ptr<unsigned char>(y);
        const unsigned char* c = m_closed.ptr<unsigned char>(box.y + y) + box.x;
        const unsigned char* g = m_grey.ptr<unsigned char>(box.y + y) + box.x;
        const unsigned char* s = m_sat.ptr<unsigned char>(box.y + y) + box.x;
        for (int x = 0; x < box.width; x += 2) {
            if (!m[x])
                continue;
            ++saturation[s[x]];
            ++level[c[x]];
            if (s[x] * 100 <= kColourlessPercent * c[x] + 100 * kColourlessNoise) {
                ++brightness[c[x]];
                ++colourless;
                blank += c[x] >= blankLevel ? 1 : 0;
            }
            ink += c[x] - g[x] >= kInkStep ? 1 : 0;
            if (box.x + x + 2 < m_closed.cols && box.y + y + 2 < m_closed.rows) {
                const int across = std::abs(c[x + 2] - c[x]);
                const int down = std::abs(m_closed.ptr<unsigned char>(box.y + y + 2)[box.x + x] - c[x]);
                texture += across + down >= kTextureStep ? 1 : 0;
            }
            ++total;
        }
    }
    if (total == 0)
        return v;
    v.brightness = colourless ? static_cast<float>(medianOf(brightness, colourless)) : 0.0f;
    const float median = static_cast<float>(medianOf(level, total));
    v.level = median / m_bright;
    v.saturation = static_cast<float>(medianOf(saturation, total)) / std::max(1.0f, median);
    v.blank = static_cast<float>(blank) / total;
    v.ink = static_cast<float>(ink) / total;
    v.texture = static_cast<float>(texture) / total;
    const float bright = ramp(v.brightness, kDarkest, kSureBright) * ramp(v.brightness / m_bright, kLeastRelative, kSureRelative);
    v.likeness = bright * ramp(v.blank, kLeastBlank, kSureBlank);
    return v;
}

cv::Rect PaperJudge::insideOf(const Quad& q, cv::Mat* inside, int step) const
{
    std::vector<cv::Point> corners;
    for (const cv::Point2f& p : q.p)
        corners.emplace_back(cvRound(p.x), cvRound(p.y));
    const cv::Rect box = cv::boundingRect(corners) & cv::Rect(0, 0, m_grey.cols, m_grey.rows);
    if (box.width < 8 * step || box.height < 8 * step)
        return cv::Rect();
    *inside = cv::Mat((box.height + step - 1) / step, (box.width + step - 1) / step, CV_8U, cv::Scalar(0));
    for (cv::Point& p : corners)
        p = (p - box.tl()) / step;
    cv::fillConvexPoly(*inside, corners, cv::Scalar(255));
    cv::erode(*inside, *inside, cv::Mat(), cv::Point(-1, -1), 2 / step);
    return box;
}

bool PaperJudge::printIsOneNet(const Quad& q) const
{
    cv::Mat inside;
    const cv::Rect box = insideOf(q, &inside);
    if (box.empty())
        return false;
    cv::Mat ink;
    cv::subtract(m_closed(box), m_grey(box), ink);
    cv::threshold(ink, ink, kInkStep - 1, 255, cv::THRESH_BINARY);
    ink &= inside;
    cv::Mat labels, stats, centroids;
    const int n = cv::connectedComponentsWithStats(ink, labels, stats, centroids, 8, CV_32S);
    const cv::Rect extent = cv::boundingRect(inside);
    for (int i = 1; i < n; ++i) {
        if (stats.at<int>(i, cv::CC_STAT_WIDTH) >= kNetSpan * extent.width
            && stats.at<int>(i, cv::CC_STAT_HEIGHT) >= kNetSpan * extent.height)
            return true;
    }
    return false;
}

bool PaperJudge::brightIsKeys(const Quad& q) const
{
    // On a large outline every second pixel both ways: the gaps between
    // keys are a hundredth of a keyboard's width, wider than one sample
    // there, and a page costs a quarter.
    const cv::Rect extent = cv::boundingRect(std::vector<cv::Point2f>(q.p.begin(), q.p.end()));
    const int step = std::max(extent.width, extent.height) >= kHalfSampledFrom ? 2 : 1;
    cv::Mat inside, grey;
    const cv::Rect box = insideOf(q, &inside, step);
    if (box.empty())
        return false;
    cv::resize(m_grey(box), grey, inside.size(), 0, 0, cv::INTER_NEAREST);
    int histogram[256] = {0}, total = 0;
    for (int y = 0; y < grey.rows; ++y) {
        const unsigned char* g = grey.ptr<unsigned char>(y);
        const unsigned char* m = inside.ptr<unsigned char>(y);
        for (int x = 0; x < grey.cols; ++x) {
            if (m[x]) {
                ++histogram[g[x]];
                ++total;
            }
        }
    }
    if (total < 64)
        return false;
    int level = 255, seen = 0;
    while (level > 0 && (seen += histogram[level]) * 10 < total)
        --level;
    // Paper shows long bright runs (its margins, the space between lines);
    // no row of keys does. Most outlines are pages and end here, cheaply.
    const int least = static_cast<int>(kKeyBright * level) + 1;
    const int longRun = std::max(4, static_cast<int>(kLongestKeyRun * grey.cols));
    for (int y = 0; y < grey.rows; ++y) {
        const unsigned char* g = grey.ptr<unsigned char>(y);
        const unsigned char* m = inside.ptr<unsigned char>(y);
        int run = 0;
        for (int x = 0; x < grey.cols; ++x) {
            run = m[x] && g[x] >= least ? run + 1 : 0;
            if (run >= longRun)
                return false;
        }
    }
    cv::Mat bright;
    cv::threshold(grey, bright, least - 1, 255, cv::THRESH_BINARY);
    bright &= inside;
    cv::Mat labels, stats, centroids;
    const int n = cv::connectedComponentsWithStats(bright, labels, stats, centroids, 4, CV_32S);
    int all = 0, largest = 0, pieces = 0;
    for (int i = 1; i < n; ++i) {
        const int area = stats.at<int>(i, cv::CC_STAT_AREA);
        all += area;
        largest = std::max(largest, area);
        pieces += area * step * step >= 4 ? 1 : 0;
    }
    return all > 0 && pieces >= kLeastKeys && largest < kLargestKey * all;
}
