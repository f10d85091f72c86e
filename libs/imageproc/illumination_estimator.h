#ifndef TAVIK_IMAGEPROC_ILLUMINATION_ESTIMATOR_H
#define TAVIK_IMAGEPROC_ILLUMINATION_ESTIMATOR_H

#include <opencv2/core.hpp>

// Estimates, at a coarse scale, the colour that blank paper has at every
// place of a photographed page: the lamp's falloff, a cast shadow, the tint
// of the paper and of the light, all in one smooth map. Dividing a photo by
// it leaves the page as if evenly lit on white paper.
//
// The print is removed by a closing (a maximum then a minimum filter) a few
// per cent of the picture wide; pictures and stamps, which a closing does not
// remove, are recognised by their colour or by the sharp edge around them and
// filled in from the paper around them. With no paper recognised at all the
// map is one flat colour, the brightest in the picture. All sizes are
// fractions of the picture's longer side, so a quarter-scale preview gets
// the same map as the photo. Runs on the caller's thread; no state.
class IlluminationEstimator {
public:
    struct Map {
        cv::Mat paper;       // CV_32FC3, RGB of blank paper, 0..255
        double scale = 1.0;  // full-resolution pixels per map pixel
    };

    // `rgb`: CV_8UC3, at least 1 x 1.
    static Map estimate(const cv::Mat& rgb);

    // Longest side of the coarse scale the work is done at.
    static constexpr int kWorkSide = 384;
};

#endif
