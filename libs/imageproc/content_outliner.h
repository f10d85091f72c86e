#ifndef TAVIK_IMAGEPROC_CONTENT_OUTLINER_H
#define TAVIK_IMAGEPROC_CONTENT_OUTLINER_H

#include "quad.h"

#include <opencv2/core.hpp>

// Finds a page whose edges are nearly invisible (white paper on a white
// desk) from what is printed on it: the print is gathered into one region,
// and outwards from each side of that region the faint paper edge (a step
// of a few levels, or the sheet's thin shadow line) is looked for along
// whole lines, where the robust mean of a hundred samples stands out of
// noise that hides it at any single point. The outermost clear edge is the
// page's: inside lie pictures and rules. Runs on the caller's thread; no
// state.
class ContentOutliner {
public:
    // How well each side of a proposal was seen.
    struct Evidence {
        float weakestStep = 0;     // smallest edge strength of the four sides (grey levels)
        float weakestSupport = 0;  // smallest share of a side's samples agreeing with its step
        float contentShare = 0;    // the print's share of the picture
        Quad print;                // the box around the print
        bool inferred = false;     // one side not seen: placed as far out as the one opposite
    };

    // `grey`: the small picture's brightness as taken (print visible);
    // borrowed for the outliner's life.
    explicit ContentOutliner(const cv::Mat& grey);

    // False when there is no print to start from or more than one side
    // finds no edge. One side without an edge (white paper on white, no
    // shadow along it) is placed beyond the print as far as the side
    // opposite is, and the evidence says so: the weakest step and support
    // are then the seen sides'.
    bool propose(Quad* out, Evidence* evidence) const;

private:
    bool contentRegion(cv::RotatedRect* region, float* share) const;
    bool searchSide(cv::Point2f mid, cv::Point2f dir, float halfLength, float reach, Line2* line,
                    float* step, float* support) const;

    const cv::Mat& m_grey;
    cv::Mat m_smooth;  // CV_32F: brightness with the print closed away, smoothed
};

#endif
