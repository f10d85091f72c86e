#include "page_enhancer.h"

#include "illumination_estimator.h"
#include "local_binarizer.h"
#include "page_flattener.h"

#include <opencv2/imgproc.hpp>

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
    // The same size and type: written into the caller's pixels in place.
    cv::cvtColor(grey, rgb, cv::COLOR_GRAY2RGB);
}
