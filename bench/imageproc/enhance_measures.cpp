#include "enhance_measures.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace enhance_measures {

namespace {

double quantile(std::vector<unsigned char>& v, double q)
{
    if (v.empty())
        return 0;
    const size_t k = std::min(v.size() - 1, static_cast<size_t>(q * v.size()));
    std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
    return v[k];
}

std::vector<unsigned char> under(const cv::Mat& grey, const cv::Mat& mask)
{
    std::vector<unsigned char> values;
    for (int y = 0; y < grey.rows; ++y) {
        const unsigned char* g = grey.ptr<unsigned char>(y);
        const unsigned char* m = mask.ptr<unsigned char>(y);
        for (int x = 0; x < grey.cols; ++x) {
            if (m[x])
                values.push_back(g[x]);
        }
    }
    return values;
}

} // namespace

cv::Mat grey(const cv::Mat& rgb)
{
    cv::Mat g;
    cv::cvtColor(rgb, g, cv::COLOR_RGB2GRAY);
    return g;
}

double spread(const cv::Mat& greyLevels, const cv::Mat& mask)
{
    std::vector<unsigned char> v = under(greyLevels, mask);
    return quantile(v, 0.95) - quantile(v, 0.05);
}

double inkContrast(const cv::Mat& greyLevels, const cv::Mat& paper, const cv::Mat& ink)
{
    const int tile = std::max(16, std::max(greyLevels.cols, greyLevels.rows) / 16);
    double sum = 0;
    int tiles = 0;
    for (int y = 0; y + tile <= greyLevels.rows; y += tile) {
        for (int x = 0; x + tile <= greyLevels.cols; x += tile) {
            const cv::Rect r(x, y, tile, tile);
            std::vector<unsigned char> p = under(greyLevels(r), paper(r));
            std::vector<unsigned char> i = under(greyLevels(r), ink(r));
            if (p.size() < 100 || i.size() < 30)
                continue;
            sum += quantile(p, 0.5) - quantile(i, 0.5);
            ++tiles;
        }
    }
    return tiles ? sum / tiles : 0;
}

void hueOf(const cv::Mat& rgb, const cv::Mat& mask, double* hue, double* chroma)
{
    const cv::Scalar m = cv::mean(rgb, mask);
    const double r = m[0], g = m[1], b = m[2];
    const double hi = std::max({r, g, b}), lo = std::min({r, g, b});
    *chroma = hi - lo;
    double h = 0;
    if (hi - lo > 1e-9) {
        if (hi == r)
            h = 60 * std::fmod((g - b) / (hi - lo) + 6, 6.0);
        else if (hi == g)
            h = 60 * ((b - r) / (hi - lo) + 2);
        else
            h = 60 * ((r - g) / (hi - lo) + 4);
    }
    *hue = h;
}

double hueDistance(double a, double b)
{
    const double d = std::fmod(std::abs(a - b), 360.0);
    return std::min(d, 360 - d);
}

double pictureDifference(const cv::Mat& rgb, const cv::Mat& clean, cv::Scalar paper, const cv::Mat& mask)
{
    cv::Mat white;
    cv::multiply(clean, cv::Scalar(255 / paper[0], 255 / paper[1], 255 / paper[2]), white);
    cv::Mat difference;
    cv::absdiff(rgb, white, difference);
    const cv::Scalar m = cv::mean(difference, mask);
    return (m[0] + m[1] + m[2]) / 3;
}

double binaryError(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask)
{
    cv::Mat differ = (a > 127) != (b > 127);
    if (mask.empty())
        return static_cast<double>(cv::countNonZero(differ)) / differ.total();
    return static_cast<double>(cv::countNonZero(differ & mask)) / std::max(1, cv::countNonZero(mask));
}

double inkPieces(const cv::Mat& binary, const cv::Mat& mask)
{
    cv::Mat labels;
    return cv::connectedComponents((binary < 128) & mask, labels, 8, CV_32S) - 1;
}

cv::Mat ownThreshold(const cv::Mat& cleanRgb)
{
    cv::Mat binary;
    cv::threshold(grey(cleanRgb), binary, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    return binary;
}

}  // namespace enhance_measures
