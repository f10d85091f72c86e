#ifndef TAVIK_IMAGEPROC_SHEET_ON_SHEET_H
#define TAVIK_IMAGEPROC_SHEET_ON_SHEET_H

#include "quad.h"

#include <opencv2/core.hpp>

#include <utility>
#include <vector>

class DeskTint;

// A page lying partly over a second sheet merges with it into one bright
// region, and the search outlines both. The page's side across the other
// sheet shows only faintly: as its rim (a thin dark line over the paper),
// a small step between two papers' shades, or the border of a picture
// printed on the sheet under it; from desk to desk, near where the region's
// outline turns in (the two sheets' edges meeting). Cut along it, the
// region falls into the page and what shows of the sheet under it; the
// larger whole part is the page. Works on the search's reduced picture.
// Runs on the caller's thread; borrows the planes and the desk's tint for
// its life.
class SheetOnSheet {
public:
    // `closedGrey`: brightness with thin print closed away; `grey`: as
    // taken (the rim is thin print too); `planes`: the smoothed planes the
    // sides are judged on (see EdgeSampler); `bright`: the level of the
    // brightest things in the picture; `tint`: the desk's, read along the
    // picture's border (where the desk around the outline is out of frame
    // or under other things).
    SheetOnSheet(const cv::Mat& closedGrey, const cv::Mat& grey, const cv::Mat& planes, float bright,
                 const DeskTint& tint);

    // The upper sheet within `merged` (an outline around two sheets, or
    // around a page and part of a book, folder or keyboard it lies on or
    // beside: then the paper's own whole outline); false unless rims cut it
    // out of the region and every one of its sides shows, as an edge on the
    // desk or on what it lies on, or as a rim.
    bool topSheet(const Quad& merged, Quad* out) const;

private:
    // What shows a side: a step right on the line alone (over the desk); a
    // thin dark line (a rim), or a step where the far side is off the
    // paper `region`, paper of another shade, or no paper at all.
    enum class Seen { Edge, Across };

    // Share of the samples along a b that show a side, the line taken as
    // it is or a pixel either way; `centre` tells its far side.
    float sideEvidence(cv::Point2f a, cv::Point2f b, Seen seen, const cv::Mat& region, cv::Point2f centre) const;
    // A step at p whose far side (along `out`) is off the paper `region`,
    // or paper as well as its near side.
    bool paperStepAt(cv::Point2f p, cv::Point2f out, const cv::Mat& region) const;
    // Whether planes are paper's, in the light or in shade: bright enough
    // and colourless.
    bool paperAt(const cv::Vec3b& planes) const;
    // A step at p from paper to something else beyond it (along `out`).
    bool pictureStepAt(cv::Point2f p, cv::Point2f out) const;

    struct Desk {
        float level[3] = {0, 0, 0};  // typical planes
        float tolerance = 0;         // how far a plane may stray
    };

    bool deskAround(const cv::Mat& ring, Desk* desk) const;
    bool deskAt(const cv::Vec3b& planes, const Desk& desk) const;
    // Whether from p outwards (along `out`, up to `reach`) runs something
    // neither desk nor paper: a book or folder the page lies on.
    bool lyingOn(cv::Point2f p, cv::Point2f out, float reach, const Desk& desk, const cv::Mat& region) const;
    // Share of the places just beyond a b (away from `centre`) that are desk
    // or paper, or a thing the page lies on; in `deskOnly`, that are desk or
    // such a thing.
    float deskBeyond(cv::Point2f a, cv::Point2f b, cv::Point2f centre, const Desk& desk, const cv::Mat& region,
                     float* deskOnly) const;
    std::vector<Line2> rimLines(const cv::Mat& region, const Quad& merged) const;
    // A step between two papers' shades at p (an edge): bright paper either
    // side of it across, plain paper on one side at least.
    bool shadeStepAt(cv::Point p) const;
    // Appends to `out`, up to `most` lines in all, the long straight lines
    // through `marks` (thinned of crowded places here) that run along one of
    // `merged`'s sides, not repeating one already there.
    void linesAlongSides(cv::Mat& marks, const Quad& merged, size_t most, std::vector<Line2>* out) const;
    std::vector<std::pair<double, Quad>> proposals(const std::vector<Line2>& pieces, const std::vector<Line2>& rims,
                                                   const std::vector<cv::Point>& contour, double minArea) const;
    // `rims`: how many of its sides lie across paper.
    bool whole(const Quad& c, const cv::Mat& region, const cv::Mat& interior, const Desk& desk, int* rims) const;
    static std::vector<Line2> outlinePieces(const std::vector<cv::Point>& contour, cv::Size size);
    bool endsAtCorners(const Quad& q, const bool rim[4], const cv::Mat& region) const;
    bool ridgeAt(cv::Point2f p, cv::Point2f n) const;
    bool stepAt(cv::Point2f p, cv::Point2f n) const;

    const cv::Mat& m_closed;
    const cv::Mat& m_grey;
    const cv::Mat& m_planes;
    float m_bright;
    const DeskTint& m_tint;
};

#endif
