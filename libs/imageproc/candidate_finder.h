#ifndef TAVIK_IMAGEPROC_CANDIDATE_FINDER_H
#define TAVIK_IMAGEPROC_CANDIDATE_FINDER_H

#include "quad.h"

#include <opencv2/core.hpp>

#include <utility>
#include <vector>

// Proposes page outlines in a small picture from two sources: the contours
// of an edge map (brightness with the text closed away, and saturation) and
// of brightness / saturation foreground masks. Each contour's hull is reduced
// to its long straight sides, so a page cut by the frame edge or with a
// finger on one side still gives its four side lines. Runs on the caller's
// thread; no state.
class CandidateFinder {
public:
    // `planes`: the small picture's smoothed brightness and colour planes
    // (CV_8UC3, see EdgeSampler); `sat`: its smoothed saturation (CV_8U).
    CandidateFinder(const cv::Mat& planes, const cv::Mat& sat);

    std::vector<Quad> find() const;

    // More proposals for a desk where the sheet may have merged with what
    // it lies on or beside (a folder, a book, a second sheet): the regions
    // nearly as bright as the brightest, and outlines from the straight
    // pieces of every region's border, a side across a merged region found
    // as a step.
    std::vector<Quad> findOnCrowdedDesk() const;

    // The second source, for faint pages (white on white, low light): long
    // straight lines of a sensitive edge map, combined two roughly parallel
    // pairs at a time. Many proposals; the caller ranks them. Edges on and
    // inside `exclude` (outlines already judged, such as pictures on the
    // page) are ignored, so that the faint page edges around them count.
    std::vector<Quad> findFromLines(const std::vector<Quad>& exclude) const;

    // Four side lines from a convex polygon (exposed for tests): sides lying
    // on the picture border are dropped, near-collinear ones merged; with
    // three real sides the border supplies the fourth.
    static bool quadFromPolygon(const std::vector<cv::Point>& polygon, cv::Size size, Quad* out);

    // The long straight pieces of a region's outline off the frame edge,
    // the longest first (at most ten), with their lengths: where a sheet's
    // sides show on an outline merged with what it lies on. None when the
    // outline is a quadrilateral already.
    static std::vector<std::pair<double, Line2>> straightPieces(const std::vector<cv::Point>& contour, cv::Size size);
    // The outline is simplified to this share of its length first.
    static constexpr double kSideEpsilon = 0.008;

    // The outline around two outlines that share a side (two tones of one
    // sheet); false unless their hull is close to a quadrilateral.
    static bool unionOf(const Quad& a, const Quad& b, cv::Size size, Quad* out);

    // The outline around `outer` and the part of `inner` reaching out of
    // it; false unless `inner` lies mostly inside `outer`.
    static bool coverOf(const Quad& outer, const Quad& inner, cv::Size size, Quad* out);

private:
    static bool quadFromHull(const std::vector<cv::Point2f>& hull, cv::Size size, Quad* out);
    void addFromContours(const std::vector<std::vector<cv::Point>>& contours,
                         std::vector<Quad>* out) const;
    void addFromMask(const cv::Mat& mask, std::vector<Quad>* out) const;
    void addFromSides(const std::vector<cv::Point>& contour, std::vector<Quad>* out) const;
    bool scanFourthSide(const Line2& a, const Line2& b, const Line2& c, double reach, cv::Point2f inward,
                        Line2* out) const;

    const cv::Mat& m_planes;
    const cv::Mat& m_sat;
    double m_minArea;
};

#endif
