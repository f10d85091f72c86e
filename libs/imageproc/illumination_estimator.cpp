#include "illumination_estimator.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cmath>
#include <vector>

namespace {

// The closing's width as a share of the longer side: wider than a line of
// body text and its strokes, narrower than a cast shadow.
constexpr double kClosingShare = 0.035;
// Paper keeps its chromaticity wherever the light falls; a share of the
// grey level beyond this in any channel means ink, a stamp or a picture.
constexpr float kChromaTolerance = 0.07f;
// A drop to this share of the brighter side within two work pixels is an
// edge of something printed, if it is most of the drop within a wider
// window (a step, not part of a ramp): shadows fall off more slowly.
constexpr float kEdgeRatio = 0.85f;
constexpr float kStepShare = 0.6f;
constexpr double kRampWindowShare = 0.04;
// Paper cut off from the rest keeps at least this share of the picture and
// this share of the rest's light; paper in a hard-edged shadow, this share
// of the picture and at most this drop within two work pixels on average.
constexpr double kSmallestPaper = 0.002;
constexpr double kSameLight = 0.8;
constexpr double kSmallestShadow = 0.02;
constexpr double kFlat = 0.02;
// Print: darker than this share of the closed picture; at least this share
// of a shadowed stretch has it.
constexpr float kPrintDepth = 0.85f;
constexpr double kPrintedShare = 0.01;
// Nothing darker than this share of the brightest paper is taken as paper.
constexpr float kDarkestPaper = 0.15f;
// Places of paper may not get darker than this share of the brightest
// paper, so that the desk beside a page is not blown up to white.
constexpr float kFloor = 0.2f;
// Nor darker than this grey level: a picture with no light in it (a covered
// lens) is not stretched into amplified grain.
constexpr float kDarkestLight = 32.0f;

int oddAtLeast3(double v)
{
    const int n = std::max(3, static_cast<int>(std::lround(v)));
    return n | 1;
}

// The picture scaled down by an integer factor (the mean of each block);
// the few columns and rows beyond a whole multiple of the factor are left
// out. Rows are summed first, a whole row at a time, which the compiler
// vectorises; OpenCV's area resize has a fast path for halving only.
cv::Mat workImage(const cv::Mat& rgb, int factor)
{
    if (factor == 1)
        return rgb.clone();
    const int w = rgb.cols / factor, h = rgb.rows / factor;
    const int rowValues = w * factor * 3;
    cv::Mat small(h, w, CV_8UC3);
    std::vector<uint32_t> sums(static_cast<size_t>(rowValues));
    const uint32_t area = static_cast<uint32_t>(factor * factor);
    for (int by = 0; by < h; ++by) {
        std::fill(sums.begin(), sums.end(), 0u);
        uint32_t* __restrict acc = sums.data();
        for (int y = by * factor; y < (by + 1) * factor; ++y) {
            const unsigned char* __restrict src = rgb.ptr<unsigned char>(y);
            for (int i = 0; i < rowValues; ++i)
                acc[i] += src[i];
        }
        unsigned char* out = small.ptr<unsigned char>(by);
        for (int bx = 0; bx < w; ++bx) {
            uint32_t total[3] = {area / 2, area / 2, area / 2};
            const uint32_t* block = acc + bx * factor * 3;
            for (int k = 0; k < factor; ++k) {
                total[0] += block[3 * k];
                total[1] += block[3 * k + 1];
                total[2] += block[3 * k + 2];
            }
            for (int c = 0; c < 3; ++c)
                out[3 * bx + c] = static_cast<unsigned char>(total[c] / area);
        }
    }
    return small;
}

float quantile(std::vector<float> values, double q)
{
    if (values.empty())
        return 0;
    const size_t k = std::min(values.size() - 1, static_cast<size_t>(q * values.size()));
    std::nth_element(values.begin(), values.begin() + static_cast<long>(k), values.end());
    return values[k];
}

struct Reference {
    float level = 0;                  // grey of the brightest paper
    std::array<float, 3> chroma{};    // its channels over its grey
};

// Grey level below which a share `q` of the picture lies.
float levelAt(const std::array<int, 256>& histogram, size_t total, double q)
{
    const double wanted = q * total;
    double seen = 0;
    for (int level = 0; level < 256; ++level) {
        seen += histogram[level];
        if (seen > wanted)
            return static_cast<float>(level);
    }
    return 255.0f;
}

// The brightest sixth of the closed picture is taken to be paper.
Reference referencePaper(const cv::Mat& closed, const cv::Mat& grey)
{
    std::array<int, 256> histogram{};
    for (int y = 0; y < grey.rows; ++y) {
        const float* g = grey.ptr<float>(y);
        for (int x = 0; x < grey.cols; ++x)
            ++histogram[std::clamp(static_cast<int>(g[x]), 0, 255)];
    }
    Reference ref;
    const float bright = levelAt(histogram, grey.total(), 0.85);
    ref.level = std::max(1.0f, levelAt(histogram, grey.total(), 0.95));
    std::array<std::vector<float>, 3> ratios;
    for (int y = 0; y < grey.rows; ++y) {
        const float* g = grey.ptr<float>(y);
        const cv::Vec3f* c = closed.ptr<cv::Vec3f>(y);
        for (int x = 0; x < grey.cols; ++x) {
            if (g[x] < bright)
                continue;
            for (int k = 0; k < 3; ++k)
                ratios[k].push_back(c[x][k] / g[x]);
        }
    }
    for (int k = 0; k < 3; ++k)
        ref.chroma[k] = ratios[k].empty() ? 1.0f : quantile(ratios[k], 0.5);
    return ref;
}

struct Candidates {
    cv::Mat paper;      // CV_8U: could be paper
    cv::Mat edges;      // CV_8U: near a sharp edge, with paper's colour
    cv::Mat roughness;  // CV_32F: the drop within two work pixels, 0 (flat) .. 1
    cv::Mat print;      // CV_8U: 1 where the closing took away something dark
};

// Places whose closed colour could be paper: its chromaticity, not too dark,
// and no sharp edge close by.
Candidates paperCandidates(const cv::Mat& closed, const cv::Mat& grey, const cv::Mat& openGrey, const Reference& ref)
{
    cv::Mat low, high, wideLow, wideHigh;
    cv::erode(grey, low, cv::Mat());
    cv::dilate(grey, high, cv::Mat());
    const int wide = oddAtLeast3(kRampWindowShare * std::max(grey.cols, grey.rows));
    const cv::Mat window = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(wide, wide));
    cv::erode(grey, wideLow, window);
    cv::dilate(grey, wideHigh, window);
    cv::Mat edges(grey.size(), CV_8U);
    Candidates out{cv::Mat(grey.size(), CV_8U), cv::Mat(), cv::Mat(grey.size(), CV_32F), cv::Mat()};
    for (int y = 0; y < grey.rows; ++y) {
        const float* l = low.ptr<float>(y);
        const float* h = high.ptr<float>(y);
        const float* wl = wideLow.ptr<float>(y);
        const float* wh = wideHigh.ptr<float>(y);
        unsigned char* e = edges.ptr<unsigned char>(y);
        float* r = out.roughness.ptr<float>(y);
        for (int x = 0; x < grey.cols; ++x) {
            const float near = l[x] / h[x], far = wl[x] / wh[x];
            e[x] = near < kEdgeRatio && std::log(near) <= kStepShare * std::log(far) ? 255 : 0;
            r[x] = 1 - near;
        }
    }
    cv::dilate(edges, edges, cv::Mat());

    for (int y = 0; y < grey.rows; ++y) {
        const float* g = grey.ptr<float>(y);
        const cv::Vec3f* c = closed.ptr<cv::Vec3f>(y);
        unsigned char* e = edges.ptr<unsigned char>(y);
        unsigned char* p = out.paper.ptr<unsigned char>(y);
        for (int x = 0; x < grey.cols; ++x) {
            bool paper = g[x] > kDarkestPaper * ref.level;
            for (int k = 0; k < 3 && paper; ++k)
                paper = std::abs(c[x][k] / g[x] - ref.chroma[k]) <= kChromaTolerance;
            p[x] = paper && !e[x] ? 255 : 0;
            e[x] = paper && e[x] ? 255 : 0;
        }
    }
    out.edges = edges;
    out.print = openGrey < grey * kPrintDepth;
    out.print /= 255;
    return out;
}

// The brightest large stretch of paper candidates, with any other stretch
// as bright as it (paper cut off by a picture), or
// one that reaches the picture's border, is flat inside and has print on
// it (paper in a shadow with a hard edge: the arm comes in over the border,
// while the pictures of a page lie within its margins and have texture, and
// a plain desk around a page has no print).
cv::Mat paperMask(const Candidates& candidates, const cv::Mat& grey)
{
    cv::Mat labels, stats, centroids;
    const int count = cv::connectedComponentsWithStats(candidates.paper, labels, stats, centroids, 4, CV_32S);
    if (count <= 1)
        return cv::Mat::zeros(grey.size(), CV_8U);
    std::vector<double> sum(static_cast<size_t>(count), 0.0), rough(sum), print(sum);
    for (int y = 0; y < labels.rows; ++y) {
        const int* l = labels.ptr<int>(y);
        const float* g = grey.ptr<float>(y);
        const float* r = candidates.roughness.ptr<float>(y);
        const unsigned char* p = candidates.print.ptr<unsigned char>(y);
        for (int x = 0; x < labels.cols; ++x) {
            sum[l[x]] += g[x];
            rough[l[x]] += r[x];
            print[l[x]] += p[x];
        }
    }
    const auto area = [&](int i) { return stats.at<int>(i, cv::CC_STAT_AREA); };
    const auto mean = [&](int i) { return sum[i] / std::max(1, area(i)); };
    const double total = static_cast<double>(labels.total());
    // The paper: the brightest stretch of some size (a grey desk around a
    // page may be larger), else the largest.
    int paper = 1;
    for (int i = 2; i < count; ++i) {
        const bool large = area(i) >= kSmallestShadow * total, paperLarge = area(paper) >= kSmallestShadow * total;
        if ((large && (!paperLarge || mean(i) > mean(paper))) || (!large && !paperLarge && area(i) > area(paper)))
            paper = i;
    }
    const auto atBorder = [&](int i) {
        const int left = stats.at<int>(i, cv::CC_STAT_LEFT), top = stats.at<int>(i, cv::CC_STAT_TOP);
        return left == 0 || top == 0 || left + stats.at<int>(i, cv::CC_STAT_WIDTH) == labels.cols
            || top + stats.at<int>(i, cv::CC_STAT_HEIGHT) == labels.rows;
    };
    std::vector<unsigned char> keep(static_cast<size_t>(count), 0);
    keep[paper] = 255;
    for (int i = 1; i < count; ++i) {
        const bool bright = area(i) >= kSmallestPaper * total && mean(i) >= kSameLight * mean(paper);
        const bool shadowed = area(i) >= kSmallestShadow * total && atBorder(i) && rough[i] / area(i) <= kFlat
            && print[i] / area(i) >= kPrintedShare;
        if (bright || shadowed)
            keep[i] = 255;
    }
    cv::Mat mask(labels.size(), CV_8U);
    for (int y = 0; y < labels.rows; ++y) {
        const int* l = labels.ptr<int>(y);
        unsigned char* m = mask.ptr<unsigned char>(y);
        for (int x = 0; x < labels.cols; ++x)
            m[x] = keep[l[x]];
    }
    // A hard shadow's edge lies between paper and paper: there the closed
    // picture is the light itself. Along a picture's edge it is not.
    const cv::Mat near = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(5, 5));
    cv::Mat paperNear, otherNear;
    cv::dilate(mask, paperNear, near);
    cv::dilate(~mask & ~candidates.edges, otherNear, near);
    mask |= candidates.edges & paperNear & ~otherNear;
    return mask;
}

// Fills the places outside `mask` from the paper around them: a pyramid of
// masked averages, read back from the coarsest level wherever a finer one
// has little paper under it (push-pull interpolation).
cv::Mat fillFromPaper(const cv::Mat& colour, const cv::Mat& mask)
{
    std::vector<cv::Mat> values, weights;
    cv::Mat w;
    mask.convertTo(w, CV_32F, 1.0 / 255);
    cv::Mat masked = colour.clone();
    masked.setTo(cv::Scalar::all(0), mask == 0);
    values.push_back(masked);
    weights.push_back(w);
    while (values.back().cols > 1 || values.back().rows > 1) {
        const cv::Size half((values.back().cols + 1) / 2, (values.back().rows + 1) / 2);
        cv::Mat v, ww;
        cv::resize(values.back(), v, half, 0, 0, cv::INTER_AREA);
        cv::resize(weights.back(), ww, half, 0, 0, cv::INTER_AREA);
        values.push_back(v);
        weights.push_back(ww);
    }
    cv::Mat estimate = values.back() / std::max(1e-6f, weights.back().at<float>(0, 0));
    for (int level = static_cast<int>(values.size()) - 2; level >= 0; --level) {
        cv::Mat coarse;
        cv::resize(estimate, coarse, values[level].size(), 0, 0, cv::INTER_LINEAR);
        const cv::Mat& v = values[level];
        const cv::Mat& wl = weights[level];
        for (int y = 0; y < v.rows; ++y) {
            const cv::Vec3f* own = v.ptr<cv::Vec3f>(y);
            const float* share = wl.ptr<float>(y);
            cv::Vec3f* out = coarse.ptr<cv::Vec3f>(y);
            for (int x = 0; x < v.cols; ++x) {
                if (share[x] <= 0)
                    continue;
                // A place with little paper under it trusts the coarser level.
                const float trust = std::min(1.0f, 4 * share[x]);
                out[x] = own[x] * (trust / share[x]) + out[x] * (1 - trust);
            }
        }
        estimate = coarse;
    }
    return estimate;
}

} // namespace

IlluminationEstimator::Map IlluminationEstimator::estimate(const cv::Mat& rgb)
{
    Map map;
    const int longSide = std::max(rgb.cols, rgb.rows);
    // A strip of a picture keeps at least one row and column at work scale.
    const int factor = std::clamp((longSide + kWorkSide - 1) / kWorkSide, 1, std::min(rgb.cols, rgb.rows));
    map.scale = factor;
    const cv::Mat work = workImage(rgb, factor);

    const int k = oddAtLeast3(kClosingShare * std::max(work.cols, work.rows));
    cv::Mat closed8;
    cv::morphologyEx(work, closed8, cv::MORPH_CLOSE, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(k, k)));
    cv::Mat closed;
    closed8.convertTo(closed, CV_32F);
    cv::Mat grey;
    cv::transform(closed, grey, cv::Matx13f(1.0f / 3, 1.0f / 3, 1.0f / 3));
    grey = cv::max(grey, 1.0f);

    const Reference ref = referencePaper(closed, grey);
    // The same grey before the closing, where print still shows.
    cv::Mat openGrey;
    work.convertTo(openGrey, CV_32F);
    cv::transform(openGrey, openGrey, cv::Matx13f(1.0f / 3, 1.0f / 3, 1.0f / 3));
    const cv::Mat mask = paperMask(paperCandidates(closed, grey, openGrey, ref), grey);
    if (cv::countNonZero(mask) == 0) {
        // Nothing looks like paper: one flat light of the brightest colour,
        // which still takes out the paper's tint.
        cv::Scalar top;
        for (int c = 0; c < 3; ++c) {
            cv::Mat channel;
            cv::extractChannel(closed, channel, c);
            const std::vector<float> values(channel.begin<float>(), channel.end<float>());
            top[c] = std::max(kDarkestLight, quantile(values, 0.95));
        }
        map.paper = cv::Mat(closed.size(), CV_32FC3, top);
        return map;
    }
    cv::Mat paper = fillFromPaper(closed, mask);
    const double sigma = std::max(0.7, 0.003 * std::max(work.cols, work.rows));
    cv::GaussianBlur(paper, paper, cv::Size(), sigma);
    cv::Scalar floor;
    for (int c = 0; c < 3; ++c)
        floor[c] = std::max(kDarkestLight, kFloor * ref.level * ref.chroma[c]);
    cv::max(paper, cv::Mat(paper.size(), paper.type(), floor), map.paper);
    return map;
}
