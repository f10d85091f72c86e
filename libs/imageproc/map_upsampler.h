#ifndef TAVIK_IMAGEPROC_MAP_UPSAMPLER_H
#define TAVIK_IMAGEPROC_MAP_UPSAMPLER_H

#include <opencv2/core.hpp>

#include <vector>

// Reads a smooth map kept at a coarse scale (illumination, local thresholds)
// back at full resolution, one row at a time, by bilinear interpolation.
// Walking the rows downwards costs one multiply-add per value: the coarse
// rows on either side are widened once and reused. Every buffer is
// allocated in the constructor, so row() cannot fail. Runs on the caller's
// thread; one instance per caller.
class MapUpsampler {
public:
    // `map`: CV_32FC1..4, each coarse pixel standing for `scale` x `scale`
    // full pixels, its centre at ((i + 0.5) * scale - 0.5). `full`: the
    // full picture's size; beyond the map's last centres its edge values hold.
    MapUpsampler(const cv::Mat& map, cv::Size full, double scale);

    // The map at full-resolution row y: width * channels floats, valid until
    // the next call.
    const float* row(int y);

private:
    void widen(int coarseRow, std::vector<float>* out) const;

    cv::Mat m_map;
    int m_channels;
    cv::Size m_full;
    double m_scale;
    std::vector<int> m_left;      // per full column: the coarse column on its left
    std::vector<float> m_weight;  // per full column: the share of the column on the right
    std::vector<float> m_upper, m_lower, m_out;
    int m_upperRow = -1, m_lowerRow = -1;
};

#endif
