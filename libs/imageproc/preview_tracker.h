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

    // How this frame is to be searched.
    enum class Search {
        Track,  // check the outline shown last (in *outline), search only if it no longer fits
        Quick,  // no outline shown: the quick search, within a frame's budget
        Full,   // the full search
    };

    // Plans the search of the next frame of `size`. With an outline shown,
    // it is tracked, and every kFullSearchEvery frames searched for afresh
    // (so that a better outline, such as the page around a picture first
    // taken for it, wins). Without one, frames get the quick search, and
    // every kIdleFullSearchEvery frames the full one (faint pages), so that
    // a page never found costs little per frame on average.
    Search plan(cv::Size size, Quad* outline);

    // Whether `rgb` looks as the frame of the last search that found the
    // page did (compared on small thumbnails, so sensor noise does not
    // count): the outline shown still fits without a search.
    bool stillSinceSearch(const cv::Mat& rgb);

    // Records `rgb` as the frame of a search that found the page.
    void noteSearch(const cv::Mat& rgb);

    static constexpr int kFullSearchEvery = 6;
    static constexpr int kIdleFullSearchEvery = 6;

    void reset();

private:
    std::mutex m_mutex;  // guards every member below
    bool m_has = false;
    Quad m_shown;
    int m_missed = 0;
    cv::Size m_size;
    int m_frames = 0;
    cv::Mat m_reference;  // thumbnail of the last frame searched with the page found
};

#endif
