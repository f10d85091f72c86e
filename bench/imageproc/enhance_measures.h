#ifndef TAVIK_BENCH_ENHANCE_MEASURES_H
#define TAVIK_BENCH_ENHANCE_MEASURES_H

#include <opencv2/core.hpp>

// What the scan-like modes are judged by, each against a clean sheet's masks.
namespace enhance_measures {

// Grey levels (BT.601) of an RGB picture.
cv::Mat grey(const cv::Mat& rgb);

// p95 - p5 of the grey levels under `mask` (the paper's spread).
double spread(const cv::Mat& greyLevels, const cv::Mat& mask);

// Print against paper nearby: in tiles a sixteenth of the longer side, the
// median paper grey minus the median ink grey, averaged over the tiles
// that hold enough of both.
double inkContrast(const cv::Mat& greyLevels, const cv::Mat& paper, const cv::Mat& ink);

// Hue (degrees) and chroma (max - min, 0..255) of the mean colour under `mask`.
void hueOf(const cv::Mat& rgb, const cv::Mat& mask, double* hue, double* chroma);

// Difference of two hues, 0..180 degrees.
double hueDistance(double a, double b);

// Mean absolute difference (RGB, 0..255) under `mask` between `rgb` and
// `clean` with its paper colour scaled to white.
double pictureDifference(const cv::Mat& rgb, const cv::Mat& clean, cv::Scalar paper, const cv::Mat& mask);

// Share of pixels (under `mask`, if given) whose black or white differs
// between two binary pictures.
double binaryError(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask = cv::Mat());

// Connected black pieces (8-connected) of a binary picture under `mask`.
double inkPieces(const cv::Mat& binary, const cv::Mat& mask);

// The clean page's own black and white: Otsu's level on its grey.
cv::Mat ownThreshold(const cv::Mat& cleanRgb);

}  // namespace enhance_measures

#endif
