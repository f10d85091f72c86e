#ifndef TAVIK_IMAGEPROC_PREVIEW_TRACKER_H
#define TAVIK_IMAGEPROC_PREVIEW_TRACKER_H

#include "quad.h"

#include <opencv2/core.hpp>

#include <mutex>

// Steadies the preview outline over successive frames: a still page's
// outline does not jitter, a short detection dropout keeps the last outline,
// and a page that moves is followed without lag. Called from the capture
// thread; the state is guarded so that a call from another thread cannot
// corrupt it.
class PreviewTracker {
public:
    // Frames a lost page keeps its outline.
    static constexpr int kHoldFrames = 4;

    // Feeds one frame's detection (found or not) in a picture of `size` and
    // returns in *shown the outline to draw; false when none is to be drawn.
    bool update(bool found, const Quad& detected, cv::Size size, Quad* shown);

    // The outline shown last for pictures of `size`, to be checked first in
    // the next frame; false when there is none or when this frame is due
    // for a full search (every kFullSearchEvery frames, so that a better
    // outline, such as the page around a picture first taken for it, wins).
    bool hint(cv::Size size, Quad* outline);

    static constexpr int kFullSearchEvery = 6;

    void reset();

private:
    std::mutex m_mutex;  // guards every member below
    bool m_has = false;
    Quad m_shown;
    int m_missed = 0;
    cv::Size m_size;
    int m_frames = 0;
};

#endif
