#ifndef TAVIK_IMAGEPROC_EDGE_SAMPLER_H
#define TAVIK_IMAGEPROC_EDGE_SAMPLER_H

#include <opencv2/core.hpp>

// Reads brightness and colour across a presumed page edge. White paper
// differs from many desks in colour even where its brightness does not, so
// three planes are looked at: brightness and two colour-opponent values
// (red-green, yellow-blue). Borrows the picture; runs on the caller's thread.
class EdgeSampler {
public:
    static constexpr int kPlanes = 3;

    // Splits packed RGB into `planes` (CV_8UC3: brightness, red-green,
    // yellow-blue, the last two centred on 128) and `sat` (CV_8U,
    // max - min of R, G, B).
    static void makePlanes(const cv::Mat& rgb, cv::Mat* planes, cv::Mat* sat);

    // `image` (CV_8UC3) holds either ready planes (fromRgb false) or packed
    // RGB that is turned into planes as it is read (the transform is linear,
    // so reading first and transforming after is exact).
    EdgeSampler(const cv::Mat& image, bool fromRgb);

    int width() const { return m_image.cols; }
    int height() const { return m_image.rows; }
    bool contains(cv::Point2f p, float margin) const;

    // Plane values along `normal` at offsets -radius..radius from p, each
    // averaged over +-1.5 pixels along the tangent: values[plane * n + k] with
    // n = 2 * radius + 1. Beyond the frame the edge pixels repeat. False if p
    // is outside the picture.
    bool profile(cv::Point2f p, cv::Point2f normal, int radius, float* values) const;

    // Per plane, the mean value beyond p by `offset` along `normal` minus
    // the mean value before it, averaged over +-halfLength along the tangent.
    bool step(cv::Point2f p, cv::Point2f normal, float offset, float halfLength,
              float steps[kPlanes]) const;

private:
    void read(float x, float y, float out[kPlanes]) const;

    const cv::Mat& m_image;
    bool m_fromRgb;
};

#endif
