#include "preview_tracker.h"

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace {

// Thumbnails are the picture shrunk by this integer factor (grey)...
constexpr int kThumbFactor = 8;
// ...and differ from the reference when any thumbnail pixel moved this
// many levels (a page edge shifted by a pixel moves its pixels more than
// this; averaged sensor noise far less).
constexpr int kStillLevel = 10;

cv::Mat thumbnailOf(const cv::Mat& rgb)
{
    const int w = rgb.cols / kThumbFactor, h = rgb.rows / kThumbFactor;
    if (w < 1 || h < 1)
        return cv::Mat();
    cv::Mat small, grey;
    cv::resize(rgb(cv::Rect(0, 0, w * kThumbFactor, h * kThumbFactor)), small, cv::Size(w, h), 0, 0, cv::INTER_AREA);
    cv::cvtColor(small, grey, cv::COLOR_RGB2GRAY);
    return grey;
}

} // namespace

bool PreviewTracker::update(bool found, const Quad& detected, cv::Size size, Quad* shown)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (size != m_size) {
        m_size = size;
        m_has = false;
        m_missed = 0;
    }
    if (!found) {
        if (!m_has || ++m_missed > kHoldFrames) {
            m_has = false;
            return false;
        }
        *shown = m_shown;
        return true;
    }
    m_missed = 0;
    if (!m_has) {
        m_has = true;
        m_shown = detected;
        *shown = m_shown;
        return true;
    }
    const Quad aligned = quad_geometry::alignedTo(m_shown, detected);
    const double diagonal = std::hypot(size.width, size.height);
    const double moved = quad_geometry::cornerDistance(m_shown, aligned);
    // Sub-pixel wobble is noise: hold still. Small changes are averaged in;
    // a large one is a moved page and is taken at once.
    float alpha;
    if (moved < 0.0015 * diagonal)
        alpha = 0.0f;
    else if (moved < 0.006 * diagonal)
        alpha = 0.3f;
    else if (moved < 0.02 * diagonal)
        alpha = 0.7f;
    else
        alpha = 1.0f;
    for (int i = 0; i < 4; ++i)
        m_shown.p[i] += (aligned.p[i] - m_shown.p[i]) * alpha;
    m_shown = quad_geometry::ordered(m_shown);
    *shown = m_shown;
    return true;
}

PreviewTracker::Search PreviewTracker::plan(cv::Size size, Quad* outline)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_frames;
    if (m_has && size == m_size) {
        if (m_frames % kFullSearchEvery == 0)
            return Search::Full;
        *outline = m_shown;
        return Search::Track;
    }
    return m_frames % kIdleFullSearchEvery == 0 ? Search::Full : Search::Quick;
}

bool PreviewTracker::stillSinceSearch(const cv::Mat& rgb)
{
    const cv::Mat thumb = thumbnailOf(rgb);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (thumb.empty() || m_reference.size() != thumb.size())
        return false;
    cv::Mat difference;
    cv::absdiff(thumb, m_reference, difference);
    double largest = 0;
    cv::minMaxLoc(difference, nullptr, &largest);
    return largest < kStillLevel;
}

void PreviewTracker::noteSearch(const cv::Mat& rgb)
{
    cv::Mat thumb = thumbnailOf(rgb);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reference = thumb;
}

void PreviewTracker::reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reference.release();
    m_has = false;
    m_missed = 0;
    m_size = cv::Size();
}
