#include "content_outliner.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Print darker than its closed surroundings by this many noise deviations
// (and at least kMinInk levels) counts as print.
constexpr float kInkSigmas = 6.0f;
constexpr float kMinInk = 14.0f;
// Share of the picture the print of a page covers.
constexpr float kMinShare = 0.01f;
constexpr float kMaxShare = 0.4f;
// Side directions tried around the print's own, in degrees: perspective
// turns a page's edge a little against the print beside it.
constexpr float kCoarseTurn = 6.0f;
constexpr float kCoarseStepDeg = 1.0f;
constexpr float kFineStepDeg = 0.25f;
// Half width of the two bands compared across a presumed edge (pixels).
constexpr int kBand = 3;
// The search starts this far inside the print's region (pixels): a sheet's
// own faint shadow line is dark and thin like print.
constexpr int kInside = 6;
// Bands beyond the narrow ones, out to kWide pixels, measure a lighting
// ramp; a ramp moves the narrow bands' means kRampShare as much as theirs.
constexpr int kWide = 10;
constexpr float kRampShare = 4.0f / 14.0f;
// Weakest median step taken as an edge (grey levels), and the share of the
// strongest step along the same side that an outer edge must reach. Beyond
// a clear edge (kClearStep at least) one barely above the weakest is more
// often the desk's own grain or light than a page's edge: the outermost
// clear edge is taken where there is one.
constexpr float kMinEdgeStep = 1.0f;
constexpr float kClearStep = 1.3f;
constexpr float kOutermostShare = 0.3f;
// Share of a side's samples that must agree with its median edge.
constexpr float kMinSupport = 0.5f;
// Samples along a side, and their spacing (pixels).
constexpr int kMaxSamples = 120;
constexpr float kSampleSpacing = 2.0f;
// Per-sample steps are clipped to this many levels before averaging.
constexpr float kClip = 8.0f;
// An edge's shape is judged on steps clipped less, so that a deep shadow
// shows its width: the step between the bands beside the edge must be this
// share of the step between the bands beyond them.
constexpr float kShapeClip = 40.0f;
constexpr float kMinSharpness = 0.55f;

// Robust noise deviation of a picture from the median deviation of each
// pixel from its 3x3 mean (every second pixel is enough).
float noiseSigma(const cv::Mat& grey)
{
    cv::Mat local, deviation;
    cv::blur(grey, local, cv::Size(3, 3));
    cv::absdiff(grey, local, deviation);
    int histogram[256] = {0};
    int total = 0;
    for (int y = 0; y < deviation.rows; y += 2) {
        const unsigned char* d = deviation.ptr<unsigned char>(y);
        for (int x = 0; x < deviation.cols; x += 2, ++total)
            ++histogram[d[x]];
    }
    int seen = 0, median = 0;
    while (median < 255 && (seen += histogram[median]) * 2 < total)
        ++median;
    return 1.4826f * std::max(0.5f, static_cast<float>(median));
}

cv::Point2f turned(cv::Point2f v, float degrees)
{
    const float a = degrees * static_cast<float>(CV_PI) / 180.0f;
    const float c = std::cos(a), s = std::sin(a);
    return cv::Point2f(c * v.x - s * v.y, s * v.x + c * v.y);
}

} // namespace

ContentOutliner::ContentOutliner(const cv::Mat& grey) : m_grey(grey)
{
    // Smoothed in floating point: the steps looked for are a level or two,
    // finer than 8-bit rounding.
    grey.convertTo(m_smooth, CV_32F);
    cv::GaussianBlur(m_smooth, m_smooth, cv::Size(5, 5), 1.0);
}

bool ContentOutliner::contentRegion(cv::RotatedRect* region, float* share) const
{
    // Print: thin dark marks, which a closing lifts to the paper's level.
    // Large dark things (fingers, shadows, desk objects) survive the closing
    // and are not print.
    cv::Mat closed, ink;
    cv::morphologyEx(m_grey, closed, cv::MORPH_CLOSE, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(5, 5)));
    cv::subtract(closed, m_grey, ink);
    const double threshold = std::max(kMinInk, kInkSigmas * noiseSigma(m_grey));
    cv::threshold(ink, ink, threshold, 255, cv::THRESH_BINARY);
    // Letters into words and lines, lines into blocks.
    cv::morphologyEx(ink, ink, cv::MORPH_CLOSE, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(9, 9)));
    cv::Mat labels, stats, centroids;
    const int n = cv::connectedComponentsWithStats(ink, labels, stats, centroids, 8, CV_32S);
    const int minArea = std::max(30, m_grey.rows * m_grey.cols / 2000);
    std::vector<cv::Point> points;
    int inkArea = 0;
    for (int i = 1; i < n; ++i) {
        const int area = stats.at<int>(i, cv::CC_STAT_AREA);
        if (area < minArea)
            continue;
        inkArea += area;
        const int x0 = stats.at<int>(i, cv::CC_STAT_LEFT), y0 = stats.at<int>(i, cv::CC_STAT_TOP);
        const int w = stats.at<int>(i, cv::CC_STAT_WIDTH), h = stats.at<int>(i, cv::CC_STAT_HEIGHT);
        for (int y = y0; y < y0 + h; ++y) {
            const int* l = labels.ptr<int>(y);
            for (int x = x0; x < x0 + w; ++x) {
                // The blob's outline is enough for its hull.
                if (l[x] == i && (x == x0 || x == x0 + w - 1 || l[x - 1] != i || l[x + 1] != i))
                    points.emplace_back(x, y);
            }
        }
    }
    if (points.size() < 8)
        return false;
    *region = cv::minAreaRect(points);
    *share = static_cast<float>(inkArea) / static_cast<float>(m_grey.rows * m_grey.cols);
    return region->size.width >= 8 && region->size.height >= 8;
}

bool ContentOutliner::searchSide(cv::Point2f mid, cv::Point2f dir, float halfLength, float reach,
                                 Line2* line, float* step, float* support) const
{
    const cv::Point2f outward(dir.y, -dir.x);
    const int samples = std::clamp(static_cast<int>(2 * halfLength / kSampleSpacing), 8, kMaxSamples);
    const int depth = static_cast<int>(reach) + kInside + kWide + 1;
    const int w = m_smooth.cols, h = m_smooth.rows;
    std::vector<float> sums(static_cast<size_t>(samples) * (depth + 1));
    std::vector<int> valid(static_cast<size_t>(samples));
    std::vector<cv::Point2f> bases(static_cast<size_t>(samples));
    std::vector<float> stepSum(static_cast<size_t>(depth) + 1), valleySum(static_cast<size_t>(depth) + 1);
    std::vector<int> counted(static_cast<size_t>(depth) + 1);
    // The coarse directions are judged on every second sample only: enough
    // to tell which direction is near, at half the cost.
    int stride = 1;

    // One sample's step at offset d (outer minus inner band, a lighting
    // ramp measured over the wider bands beyond taken out) and dark line
    // (flanks minus centre). `row`: the sample's prefix sums, `n` of them
    // valid.
    const auto measure = [](const float* row, int n, int d, float* step, float* valley, float* narrowOut = nullptr,
                            float* farOut = nullptr) {
        const float out = (row[d + kBand + 1] - row[d + 1]) * (1.0f / kBand);
        const float in = (row[d] - row[d - kBand]) * (1.0f / kBand);
        const float narrow = out - in;
        float ramp = 0;
        if (d >= kWide && d + kWide + 1 <= n) {
            constexpr float kWideInv = 1.0f / (kWide - kBand);
            ramp = kRampShare * kWideInv
                * ((row[d + kWide + 1] - row[d + kBand + 1]) - (row[d - kBand] - row[d - kWide]));
        }
        if (narrowOut)
            *narrowOut = narrow;
        if (farOut) {
            // The same bands widened as far as the picture allows.
            const int inner = std::min(kWide, d), outer = std::min(kWide, n - d - 1);
            *farOut = inner >= kBand + 2 && outer >= kBand + 2
                ? (row[d + outer + 1] - row[d + kBand + 1]) / (outer - kBand) - (row[d - kBand] - row[d - inner]) / (inner - kBand)
                : std::nanf("");
        }
        // Only ever weakened by the ramp, never turned: beside a strong
        // edge the wide bands see that edge, not a ramp.
        *step = narrow * ramp > 0 ? std::copysign(std::max(0.0f, std::abs(narrow) - std::abs(ramp)), narrow) : narrow;
        const float centre = (row[d + 2] - row[d - 1]) * (1.0f / 3);
        const float flanks = (row[d - 1] - row[d - kBand - 1] + row[d + kBand + 2] - row[d + 2]) * (0.5f / kBand);
        *valley = flanks - centre;
    };
    // Share of the samples agreeing with the mean edge at offset d.
    const auto supportAt = [&](int d, float meanStep, float meanValley) {
        int agree = 0, seen = 0;
        for (int s = 0; s < samples; s += stride) {
            if (d + kBand + 2 > valid[s])
                continue;
            float step, valley;
            measure(&sums[static_cast<size_t>(s) * (depth + 1)], valid[s], d, &step, &valley);
            ++seen;
            if (std::abs(meanStep) >= meanValley)
                agree += step * meanStep > 0 && std::abs(step) >= std::abs(meanStep) / 3 ? 1 : 0;
            else
                agree += valley >= meanValley / 3 ? 1 : 0;
        }
        return seen ? static_cast<float>(agree) / seen : 0.0f;
    };

    // Whether the step at offset d is nearly all there across a few pixels,
    // as a paper edge is; the soft edge of a cast shadow keeps rising well
    // beyond. Where the wide bands mostly leave the picture, it is not judged.
    const auto sharpAt = [&](int d) {
        float narrowSum = 0, farSum = 0;
        int shaped = 0, seen = 0;
        for (int s = 0; s < samples; s += stride) {
            if (d + kBand + 2 > valid[s])
                continue;
            ++seen;
            float step, valley, narrow, far;
            measure(&sums[static_cast<size_t>(s) * (depth + 1)], valid[s], d, &step, &valley, &narrow, &far);
            if (std::isnan(far))
                continue;
            narrowSum += std::clamp(narrow, -kShapeClip, kShapeClip);
            farSum += std::clamp(far, -kShapeClip, kShapeClip);
            ++shaped;
        }
        return shaped * 2 < seen || std::abs(narrowSum) >= kMinSharpness * std::abs(farSum);
    };
    // Edge strength across the line at each offset, for each direction
    // tried: the larger of the median step and the median dark line (a
    // sheet's own shadow, often all there is where paper and desk are both
    // near white).
    struct Peak {
        float angle, offset, strength, support;
        bool sharp;
    };
    std::vector<Peak> peaks;
    const auto inPicture = [w, h](cv::Point2f p) {
        const int x = cvRound(p.x), y = cvRound(p.y);
        return x >= 0 && y >= 0 && x < w && y < h;
    };
    // Peaks are looked for at offsets firstAt..lastAt along the normal: all
    // of them, or only a window around an edge already found, where a finer
    // direction need not read the whole reach again.
    auto tryAngle = [&](float degrees, int firstAt, int lastAt) {
        const cv::Point2f t = turned(dir, degrees), n = turned(outward, degrees);
        // Prefix sums of the brightness along the normal, per sample, up to
        // where the normal leaves the picture (rows before the window are
        // not needed: the measures take differences of the sums). All
        // samples advance one step at a time: neighbouring samples read
        // neighbouring pixels, which keeps the reads in cache whichever way
        // the side runs.
        const int firstRow = std::max(0, firstAt - 1 - kWide);
        const int lastRow = std::min(depth, lastAt + kWide + 2);
        for (int s = 0; s < samples; s += stride) {
            const float along = -halfLength + 2 * halfLength * (s + 0.5f) / samples;
            bases[s] = mid + t * along - n * static_cast<float>(kInside);
            sums[static_cast<size_t>(s) * (depth + 1) + firstRow] = 0;
            valid[s] = -1;
            // Once out of the picture a straight line stays out: where the
            // window starts outside, find where the line left.
            if (!inPicture(bases[s])) {
                valid[s] = 0;
            } else if (firstRow > 0 && !inPicture(bases[s] + n * static_cast<float>(firstRow))) {
                int k = 0;
                while (k < firstRow && inPicture(bases[s] + n * static_cast<float>(k)))
                    ++k;
                valid[s] = k;
            }
        }
        for (int k = firstRow; k < lastRow; ++k) {
            for (int s = 0; s < samples; s += stride) {
                if (valid[s] >= 0)
                    continue;
                const int x = cvRound(bases[s].x + n.x * k), y = cvRound(bases[s].y + n.y * k);
                float* row = &sums[static_cast<size_t>(s) * (depth + 1)];
                if (x < 0 || y < 0 || x >= w || y >= h)
                    valid[s] = k;
                else
                    row[k + 1] = row[k] + m_smooth.ptr<float>(y)[x];
            }
        }
        // Past the window the line may leave the picture too; no offset
        // judged reaches that far.
        for (int s = 0; s < samples; s += stride) {
            if (valid[s] < 0)
                valid[s] = depth;
        }
        // Per offset, the sums over the samples of the clipped step and
        // dark line (clipped means are as robust as medians against a
        // finger or a desk object on a short stretch, at a fraction of the
        // cost).
        const int firstD = std::max(kBand + 1, firstAt - 1), lastD = std::min(depth - 1, lastAt + 1);
        std::fill(stepSum.begin(), stepSum.end(), 0.0f);
        std::fill(valleySum.begin(), valleySum.end(), 0.0f);
        std::fill(counted.begin(), counted.end(), 0);
        for (int s = 0; s < samples; s += stride) {
            const float* row = &sums[static_cast<size_t>(s) * (depth + 1)];
            for (int d = firstD; d <= lastD && d + kBand + 2 <= valid[s]; ++d) {
                float step, valley;
                measure(row, valid[s], d, &step, &valley);
                stepSum[d] += std::clamp(step, -kClip, kClip);
                valleySum[d] += std::clamp(valley, -kClip, kClip);
                ++counted[d];
            }
        }
        float before = 0, here = 0;
        for (int d = firstD; d <= lastD; ++d) {
            // Beyond the picture for most of the side: nothing to judge.
            if (counted[d] * 2 * stride < samples)
                break;
            const float next = std::max(std::abs(stepSum[d]), valleySum[d]) / counted[d];
            // Local extremes only: an edge blurred over a few pixels is one
            // edge; and one too weak ever to be taken is not judged further.
            if (d > kBand + 2 && d >= firstD + 2 && here > before && here >= next && here >= kMinEdgeStep) {
                const int at = d - 1;
                const float meanStep = stepSum[at] / counted[at], meanValley = valleySum[at] / counted[at];
                const bool sharp = std::abs(meanStep) < meanValley || sharpAt(at);
                peaks.push_back(Peak{degrees, static_cast<float>(at - kInside), here,
                                     supportAt(at, meanStep, meanValley), sharp});
            }
            before = here;
            here = next;
        }
    };
    stride = 2;
    for (float a = -kCoarseTurn; a <= kCoarseTurn + 1e-3f; a += kCoarseStepDeg)
        tryAngle(a, 0, depth);
    stride = 1;
    if (peaks.empty())
        return false;
    // The page's edge is the outermost clear edge: inside it lie pictures
    // and rules, outside only the desk.
    float strongest = 0;
    for (const Peak& p : peaks)
        strongest = std::max(strongest, p.strength);
    const float share = kOutermostShare * strongest;
    float outermost = -1e9f;
    for (const float least : {std::max(kClearStep, share), std::max(kMinEdgeStep, share)}) {
        for (const Peak& p : peaks) {
            if (p.strength >= least && p.support >= kMinSupport && p.sharp)
                outermost = std::max(outermost, p.offset);
        }
        if (outermost > -1e9f)
            break;
    }
    const Peak* best = nullptr;
    auto pickNear = [&](size_t from) {
        for (size_t i = from; i < peaks.size(); ++i) {
            const Peak& p = peaks[i];
            if (std::abs(p.offset - outermost) <= kBand && (!best || p.strength > best->strength))
                best = &p;
        }
    };
    pickNear(0);
    if (!best)
        return false;
    const Peak coarse = *best;
    best = nullptr;
    // Only peaks near the outermost edge can be picked.
    const int nearFrom = static_cast<int>(std::floor(outermost)) + kInside - kBand;
    const int nearTo = static_cast<int>(std::ceil(outermost)) + kInside + kBand;
    for (float a = coarse.angle - kCoarseStepDeg + kFineStepDeg; a < coarse.angle + kCoarseStepDeg - 1e-3f;
         a += kFineStepDeg)
        tryAngle(a, nearFrom, nearTo);
    pickNear(0);
    const Peak chosen = best ? *best : coarse;
    const cv::Point2f t = turned(dir, chosen.angle), n = turned(outward, chosen.angle);
    line->point = mid + n * chosen.offset;
    line->dir = t;
    *step = chosen.strength;
    *support = chosen.support;
    return true;
}

bool ContentOutliner::propose(Quad* out, Evidence* evidence) const
{
    if (m_grey.empty() || m_grey.size() != m_smooth.size())
        return false;
    cv::RotatedRect region;
    float share = 0;
    // Too little print is a few specks of desk, too much a textured desk.
    if (!contentRegion(&region, &share) || share < kMinShare || share > kMaxShare)
        return false;
    cv::Point2f corners[4];
    region.points(corners);
    Quad box;
    for (int i = 0; i < 4; ++i)
        box.p[i] = corners[i];
    box = quad_geometry::ordered(box);
    const float diagonal = std::hypot(static_cast<float>(m_grey.cols), static_cast<float>(m_grey.rows));
    Line2 lines[4];
    Evidence e;
    e.weakestStep = 1e9f;
    e.weakestSupport = 1;
    e.contentShare = share;
    e.print = box;
    // Each box side's middle and outward normal, and how far out along it
    // the side's edge lies.
    cv::Point2f middle[4], normal[4];
    float margin[4] = {0, 0, 0, 0};
    int unseen = -1;
    for (int i = 0; i < 4; ++i) {
        const cv::Point2f a = box.p[i], b = box.p[(i + 1) % 4];
        const cv::Point2f d = b - a;
        const float length = std::hypot(d.x, d.y);
        const cv::Point2f dir = d / std::max(length, 1e-3f);
        middle[i] = (a + b) * 0.5f;
        normal[i] = cv::Point2f(dir.y, -dir.x);
        const cv::Point2f across = box.p[(i + 2) % 4] - b;
        // Margins and ragged line ends leave the edge well beyond the print,
        // but not further than half the print's own extent.
        const float reach = std::min(0.5f * std::hypot(across.x, across.y) + 8.0f, 0.35f * diagonal);
        float step = 0, support = 0;
        if (!searchSide(middle[i], dir, 0.45f * length, reach, &lines[i], &step, &support)) {
            if (unseen >= 0)
                return false;
            unseen = i;
            continue;
        }
        margin[i] = (lines[i].point - middle[i]).dot(normal[i]);
        e.weakestStep = std::min(e.weakestStep, step);
        e.weakestSupport = std::min(e.weakestSupport, support);
    }
    if (unseen >= 0) {
        // Pages are laid out with like margins on opposite sides.
        lines[unseen].point = middle[unseen] + normal[unseen] * margin[(unseen + 2) % 4];
        lines[unseen].dir = cv::Point2f(-normal[unseen].y, normal[unseen].x);
        e.inferred = true;
    }
    Quad q;
    if (!quad_geometry::fromSides(lines, &q))
        return false;
    *out = q;
    *evidence = e;
    return true;
}
