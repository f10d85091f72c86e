// Pictures for the image library's fuzz targets, drawn from the fuzzer's
// bytes: a light sheet on a desk, then the remaining bytes as damage.
#ifndef TAVIK_FUZZ_SHEET_H
#define TAVIK_FUZZ_SHEET_H

#include "fuzz_input.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

// A quadrilateral of page's shade (four corners from input, anywhere in or
// a little beyond the picture) on a background of its own shade.
inline void drawSheet(FuzzInput& input, cv::Mat& image, uint8_t background, uint8_t page)
{
    cv::Point corners[4];
    for (cv::Point& p : corners) {
        p.x = input.inRange(-20, 275) * image.cols / 256;
        p.y = input.inRange(-20, 275) * image.rows / 256;
    }
    image.setTo(cv::Scalar(background, background / 2 + 20, background));
    cv::fillConvexPoly(image, corners, 4, cv::Scalar(page, page, page / 2 + 127));
}

// The rest of the input scattered over the picture's bytes (not past its
// last pixel: the bytes after a row's pixels are the caller's).
inline void scatterRest(FuzzInput& input, unsigned char* pixels, int width, int stride, int height)
{
    const size_t total = static_cast<size_t>(stride) * (height - 1) + static_cast<size_t>(width) * 3;
    for (size_t i = 0; i < input.restSize(); ++i)
        pixels[(i * 7919) % total] ^= input.rest()[i];
}

#endif
