#ifndef TAVIK_IMAGEPROC_EVAL_PAGE_PHOTOGRAPHER_H
#define TAVIK_IMAGEPROC_EVAL_PAGE_PHOTOGRAPHER_H

#include "scene_random.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>

// Photographs a flat page as the document camera sees it after deskew: a
// desk lamp's falloff, the soft shadow of the camera arm, the lamp's warm
// tint, the lens's blur, sensor grain and JPEG. Used by the enhancement
// evaluation, benchmark and tests; runs on the caller's thread.
class PagePhotographer {
public:
    struct Conditions {
        cv::Point2d lamp;            // over this point of the page (pixels), may lie outside
        double lampHeight = 1e9;     // pixels above the page; huge: even light
        double ambient = 1.0;        // share of light that is not the lamp's
        bool shadow = false;         // the arm's shadow: a band with round end
        cv::Point2d armFrom, armTo;  // its axis (pixels)
        double armHalfWidth = 0;     // pixels
        double penumbra = 1;         // width of its soft edge (pixels)
        double armDepth = 0;         // share of the lamp's light it takes
        cv::Vec3d tint{1, 1, 1};     // light colour, per RGB channel
        double exposure = 245;       // grey level of the brightest white
        double blur = 0;             // Gaussian sigma (pixels)
        double noise = 0;            // grain sigma (grey levels), plus shot noise
        double shotNoise = 0;        // variance per grey level
        int jpegQuality = 0;         // 0: no JPEG round trip
        std::string describe() const;
    };

    // Conditions as met on a desk: a lamp at the side, an arm's shadow
    // (always, with `shadow`), grain, blur and JPEG 70..92.
    static Conditions randomConditions(cv::Size size, bool shadow, SceneRandom& rng);

    // The light falling on each pixel (CV_32FC3, 1 = the brightest place).
    static cv::Mat light(cv::Size size, const Conditions& c);

    // The photo of `clean` (CV_8UC3).
    static cv::Mat shoot(const cv::Mat& clean, const Conditions& c, uint32_t grainSeed);
};

#endif
