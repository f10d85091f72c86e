#include "preview_tracker.h"

#include <cmath>

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

bool PreviewTracker::hint(cv::Size size, Quad* outline)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_frames;
    if (!m_has || size != m_size || m_frames % kFullSearchEvery == 0)
        return false;
    *outline = m_shown;
    return true;
}

void PreviewTracker::reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_has = false;
    m_missed = 0;
    m_size = cv::Size();
}
