#ifndef TAVIK_IMAGEPROC_PAPER_JUDGE_H
#define TAVIK_IMAGEPROC_PAPER_JUDGE_H

#include "quad.h"

#include <opencv2/core.hpp>

// Judges how much the inside of an outline looks like a sheet of paper:
// bright for the picture, nearly colourless, perhaps printed. A folder, a
// box or a bank card is saturated, a book cover, a phone or a keyboard dark;
// none of them is a page however straight its edges. Works on the reduced
// picture the search already has. Runs on the caller's thread; no state
// beyond the borrowed planes.
class PaperJudge {
public:
    struct Verdict {
        float brightness = 0;  // median level of the colourless inside (text closed away), grey levels
        float level = 0;       // median level of all of the inside, as a share of the brightest things
        float saturation = 0;  // median saturation of the inside over its median level
        float blank = 0;       // share of the inside that is bright and colourless
        float ink = 0;         // share of the inside that is thin dark print
        float texture = 0;     // share of the inside where the paper level itself changes
        float likeness = 0;    // 0 (not paper) .. 1 (paper)
    };

    // `closedGrey`: brightness with thin print closed away (CV_8U);
    // `grey`: brightness as taken; `sat`: max - min of R, G, B (CV_8U). All
    // of the same size, borrowed for the judge's life.
    PaperJudge(const cv::Mat& closedGrey, const cv::Mat& grey, const cv::Mat& sat);

    // With `exclude`, only the part of `q` outside it is judged (the rim
    // of a page around a picture on it).
    Verdict judge(const Quad& q, const Quad* exclude = nullptr) const;

    // Whether the print inside `q` is one net spanning most of it: the gaps
    // between a keyboard's keys, not the words and tables of a page.
    bool printIsOneNet(const Quad& q) const;

    // Whether the bright part of the inside is broken into many small
    // pieces, none of them large: a keyboard's keys. A page's paper is one
    // expanse (its margins join it round its words and tables).
    bool brightIsKeys(const Quad& q) const;

    // The level of the brightest things in the picture (grey levels).
    float brightest() const { return m_bright; }

    // Threshold of likeness above which an outline counts as paper.
    static constexpr float kPaper = 0.5f;
    // Share of texture above which a surface is not blank paper (the keys
    // of a keyboard, the grain of a desk).
    static constexpr float kMaxTexture = 0.3f;

private:
    // The bounding box of `q` within the picture, and in `inside` the part
    // of it clear of the outline's edges, sampled every `step` pixels;
    // empty when too small to judge.
    cv::Rect insideOf(const Quad& q, cv::Mat* inside, int step = 1) const;

    const cv::Mat& m_closed;
    const cv::Mat& m_grey;
    const cv::Mat& m_sat;
    float m_bright = 255;  // level of the brightest things in the picture
};

#endif
