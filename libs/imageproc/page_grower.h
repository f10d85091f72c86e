#ifndef TAVIK_IMAGEPROC_PAGE_GROWER_H
#define TAVIK_IMAGEPROC_PAGE_GROWER_H

#include "quad.h"

#include <opencv2/core.hpp>

#include <vector>

// The search's pick may be only part of the page: cut short along a row of
// its print, or along the shade line where the page bends over a folder's
// edge under it. Past such a side the same paper goes on. Walks out past
// each side of the pick while colourless paper continues, and proposes the
// outline grown that far; where print crosses the walk at once (a picture
// the side cut through), proposes it grown to a sheet's proportions if
// paper goes on that far along both margins. The sides are fitted and
// judged afterwards. A pick with a sheet's own proportions is a whole sheet
// (what lies past it is another one) and is not grown. Works on the
// search's reduced picture. Runs on the caller's thread; borrows the planes
// for its life.
class PageGrower {
public:
    // `closedGrey`: brightness with print closed away; `sat`: saturation;
    // `bright`: the level of the brightest things in the picture.
    PageGrower(const cv::Mat& closedGrey, const cv::Mat& sat, float bright);

    // Outlines of `pick` grown past one side each, as far as paper goes on.
    std::vector<Quad> grown(const Quad& pick) const;

private:
    bool paperAt(cv::Point2f p) const;
    // `pick` with side `side` moved `t` pixels out along `ua` and `ub`, the
    // sides meeting it.
    static Quad grownBy(const Quad& pick, int side, cv::Point2f ua, cv::Point2f ub, float t);
    // How far side `side` moves out (at most `most` pixels) for the outline
    // to take each sheet's proportions it can reach; `start`: the pick's own
    // width over height.
    std::vector<float> sheetCompletions(const Quad& pick, double start, int side, cv::Point2f ua, cv::Point2f ub,
                                        float most) const;

    const cv::Mat& m_closed;
    const cv::Mat& m_sat;
    float m_paperLevel;
};

#endif
