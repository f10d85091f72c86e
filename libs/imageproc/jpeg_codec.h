#ifndef TAVIK_IMAGEPROC_JPEG_CODEC_H
#define TAVIK_IMAGEPROC_JPEG_CODEC_H

#include <opencv2/core.hpp>

#include <cstddef>

// JPEG in and out through libjpeg-turbo. Runs on the caller's thread; no state.
namespace jpeg_codec {

// Largest picture the library accepts, checked before any pixel is allocated.
constexpr int kMaxSide = 16384;
constexpr long long kMaxPixels = 64LL * 1024 * 1024;

// True when width x height is within the limits above (and at least 1 x 1).
bool sizeAcceptable(long long width, long long height);

// Decodes a complete JPEG into packed RGB (CV_8UC3), scaled down by
// `scaleDenom` (1, 2, 4 or 8) in the decoder. False, with *rgb emptied, for
// data that is not a JPEG, is truncated, or whose header exceeds the limits.
bool decode(const unsigned char* data, size_t length, cv::Mat* rgb, int scaleDenom = 1);

// Encodes packed RGB (CV_8UC3, any row stride) at `quality` (1..100) into a
// new malloc block handed to the caller (*out, *outLength). False, with *out
// null, on failure.
bool encode(const cv::Mat& rgb, int quality, unsigned char** out, size_t* outLength);

} // namespace jpeg_codec

#endif
