#include "scenewatcher.h"

#include <algorithm>
#include <cstdlib>

namespace {

// A cell averages hundreds of pixels, so sensor noise moves it by a level or
// two; a hand or a page edge moves it by tens.
constexpr int kCellNoise = 20;
// More than this share of cells changed against the still scene is movement.
// The virtual camera's moving marker alone changes well under 1 %.
constexpr double kMovingShare = 0.02;
// Two still scenes differ (a new page, not the same one nudged) above this.
constexpr double kOtherSceneShare = 0.04;
// Samples per cell side: enough to average noise away, few enough to be cheap.
constexpr int kSamplesPerSide = 6;

} // namespace

SceneWatcher::Thumb SceneWatcher::thumbOf(const uint8_t* rgb, int width, int height, int stride)
{
    Thumb thumb;
    if (!rgb || width < kThumbWidth || height <= 0 || stride < width * 3)
        return thumb;
    thumb.width = kThumbWidth;
    thumb.height = std::max(1, (height * kThumbWidth + width / 2) / width);
    thumb.grey.resize(static_cast<size_t>(thumb.width) * thumb.height);
    for (int cy = 0; cy < thumb.height; ++cy) {
        const int y0 = cy * height / thumb.height;
        const int y1 = (cy + 1) * height / thumb.height;
        const int yStep = std::max(1, (y1 - y0) / kSamplesPerSide);
        for (int cx = 0; cx < thumb.width; ++cx) {
            const int x0 = cx * width / thumb.width;
            const int x1 = (cx + 1) * width / thumb.width;
            const int xStep = std::max(1, (x1 - x0) / kSamplesPerSide);
            unsigned sum = 0;
            unsigned count = 0;
            for (int y = y0; y < y1; y += yStep) {
                const uint8_t* row = rgb + static_cast<size_t>(y) * stride;
                for (int x = x0; x < x1; x += xStep) {
                    const uint8_t* p = row + x * 3;
                    sum += (p[0] * 77u + p[1] * 150u + p[2] * 29u) >> 8;
                    ++count;
                }
            }
            thumb.grey[static_cast<size_t>(cy) * thumb.width + cx] = static_cast<uint8_t>(count ? sum / count : 0);
        }
    }
    return thumb;
}

double SceneWatcher::changedShare(const Thumb& a, const Thumb& b)
{
    if (a.width != b.width || a.height != b.height || a.empty())
        return 1.0;
    size_t changed = 0;
    for (size_t i = 0; i < a.grey.size(); ++i)
        changed += std::abs(int(a.grey[i]) - int(b.grey[i])) > kCellNoise;
    return double(changed) / double(a.grey.size());
}

void SceneWatcher::reset()
{
    *this = SceneWatcher();
}

bool SceneWatcher::observe(Thumb thumb, Page page, double seconds)
{
    if (thumb.empty())
        return false;
    m_current = std::move(thumb);
    // Against the scene at rest, not the previous frame: a slow hand moves
    // little from frame to frame but far from where it started.
    if (changedShare(m_current, m_anchor) > kMovingShare) {
        // The first frame after a reset counts as the desk, not as a change.
        m_changed = !m_anchor.empty();
        m_anchor = m_current;
        m_stillSince = seconds;
        return false;
    }
    if (seconds - m_stillSince < kStillSeconds)
        return false;
    if (m_desk.empty()) {
        m_desk = m_anchor;
        m_changed = false;
        return false;
    }
    if (!m_changed)
        return false;
    m_changed = false; // one decision per still scene
    if (!worthAPhoto(page))
        return false;
    notePhoto();
    return true;
}

bool SceneWatcher::worthAPhoto(Page page) const
{
    if (!m_lastPhoto.empty() && changedShare(m_anchor, m_lastPhoto) <= kOtherSceneShare)
        return false; // the page of the last photo, after a hand passed over it
    switch (page) {
    case Page::Present:
        return true;
    case Page::Absent:
        return false;
    case Page::Unknown:
        break;
    }
    return changedShare(m_anchor, m_desk) > kOtherSceneShare;
}

void SceneWatcher::notePhoto()
{
    m_lastPhoto = m_current;
}
