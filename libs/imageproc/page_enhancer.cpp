#include "page_enhancer.h"

#include "illumination_estimator.h"
#include "local_binarizer.h"
#include "page_flattener.h"

namespace {

void writeGrey(const cv::Mat& grey, cv::Mat& rgb)
{
    // Sizes are copied out: every byte written could otherwise alias them.
    const int width = rgb.cols, height = rgb.rows;
    for (int y = 0; y < height; ++y) {
        const unsigned char* g = grey.ptr<unsigned char>(y);
        unsigned char* p = rgb.ptr<unsigned char>(y);
        for (int x = 0; x < width; ++x)
            p[3 * x] = p[3 * x + 1] = p[3 * x + 2] = g[x];
    }
}

} // namespace

bool PageEnhancer::known(int mode)
{
    return mode >= static_cast<int>(Mode::Original) && mode <= static_cast<int>(Mode::BlackWhite);
}

void PageEnhancer::apply(cv::Mat& rgb, Mode mode)
{
    if (mode == Mode::Original)
        return;
    const IlluminationEstimator::Map map = IlluminationEstimator::estimate(rgb);
    if (mode == Mode::Document) {
        PageFlattener::toColour(rgb, map);
        return;
    }
    cv::Mat grey = PageFlattener::toGrey(rgb, map, mode == Mode::BlackWhite);
    if (mode == Mode::BlackWhite)
        LocalBinarizer::apply(grey);
    writeGrey(grey, rgb);
}
