// ImageProc_Enhance: the scan-like picture modes, checked at the C boundary.
// The work is in PageEnhancer.

#include "imageproc.h"

#include "jpeg_codec.h"
#include "page_enhancer.h"

#include <opencv2/core.hpp>

#include <cstdio>
#include <mutex>

namespace {

constexpr int kMinSide = 16;

// Like the other exports: OpenCV's worker pool stays off, so the capture
// thread is not slowed and results do not depend on the core count.
void singleThreadedOpenCv()
{
    static std::once_flag once;
    std::call_once(once, [] { cv::setNumThreads(0); });
}

static_assert(static_cast<int>(PageEnhancer::Mode::Document) == IMAGEPROC_ENHANCE_DOCUMENT
                  && static_cast<int>(PageEnhancer::Mode::Grey) == IMAGEPROC_ENHANCE_GREY
                  && static_cast<int>(PageEnhancer::Mode::BlackWhite) == IMAGEPROC_ENHANCE_BLACK_WHITE,
              "the modes of the C interface");

} // namespace

extern "C" {

int ImageProc_Enhance(unsigned char* rgb, int width, int stride, int height, int mode)
{
    if (!rgb || width < kMinSide || height < kMinSide || !jpeg_codec::sizeAcceptable(width, height)
        || static_cast<long long>(stride) < 3LL * width || !PageEnhancer::known(mode))
        return -1;
    try {
        singleThreadedOpenCv();
        cv::Mat image(height, width, CV_8UC3, rgb, static_cast<size_t>(stride));
        PageEnhancer::apply(image, static_cast<PageEnhancer::Mode>(mode));
        return 1;
    } catch (...) {
        std::fprintf(stderr, "ImageProc: ImageProc_Enhance failed inside OpenCV\n");
        return -1;
    }
}

} // extern "C"
