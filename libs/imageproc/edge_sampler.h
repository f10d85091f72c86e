#ifndef TAVIK_IMAGEPROC_EDGE_SAMPLER_H
#define TAVIK_IMAGEPROC_EDGE_SAMPLER_H

#include <opencv2/core.hpp>

// Reads brightness and saturation across a presumed page edge. White paper
// differs from most desks in saturation even where its brightness does not,
// so both planes are looked at. Borrows the planes; runs on the caller's
// thread.
class EdgeSampler {
public:
    // Splits packed RGB into brightness (luma) and saturation (max - min)
    // planes of the same size.
    static void makePlanes(const cv::Mat& rgb, cv::Mat* grey, cv::Mat* sat);

    EdgeSampler(const cv::Mat& grey, const cv::Mat& sat);

    int width() const { return m_grey.cols; }
    int height() const { return m_grey.rows; }
    bool contains(cv::Point2f p, float margin) const;

    // Values along `normal` at offsets -radius..radius from p (2 * radius + 1
    // entries each), each averaged over +-2 pixels along the tangent. Beyond
    // the frame the edge pixels repeat. False if p is outside the picture.
    bool profile(cv::Point2f p, cv::Point2f normal, int radius, float* grey, float* sat) const;

    // Mean value beyond p by `offset` along `normal` minus the mean value
    // before it, per plane, averaged over +-halfLength along the tangent.
    bool step(cv::Point2f p, cv::Point2f normal, float offset, float halfLength,
              float* greyStep, float* satStep) const;

private:
    float read(const cv::Mat& plane, float x, float y) const;

    const cv::Mat& m_grey;
    const cv::Mat& m_sat;
};

#endif
