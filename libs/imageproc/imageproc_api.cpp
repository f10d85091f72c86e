// The library's C entry points: argument checks, JPEG in and out, and the
// hand-over of malloc'ed results. The work itself is in the classes.

#include "imageproc.h"

#include "document_detector.h"
#include "jpeg_codec.h"
#include "outline_painter.h"
#include "page_warper.h"
#include "preview_tracker.h"

#include <opencv2/core.hpp>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

constexpr int kPreviewQuality = 85;
constexpr int kPhotoQuality = 92;
constexpr int kMinSide = 16;

// The capture thread must not be slowed by OpenCV's worker pool, and
// results must not depend on the machine's core count.
void setUpOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { cv::setNumThreads(0); });
}

PreviewTracker& previewTracker()
{
    static PreviewTracker tracker;
    return tracker;
}

bool rawAcceptable(const unsigned char* rgb, int width, int stride, int height)
{
    if (!rgb || width < kMinSide || height < kMinSide
        || !jpeg_codec::sizeAcceptable(width, height)
        || static_cast<long long>(stride) < 3LL * width)
        return false;
    return true;
}

cv::Mat wrapRaw(const unsigned char* rgb, int width, int stride, int height)
{
    return cv::Mat(height, width, CV_8UC3, const_cast<unsigned char*>(rgb),
                   static_cast<size_t>(stride));
}

bool decodeAcceptable(const unsigned char* jpeg, int length, cv::Mat* rgb)
{
    if (!jpeg || length <= 0)
        return false;
    if (!jpeg_codec::decode(jpeg, static_cast<size_t>(length), rgb))
        return false;
    return rgb->cols >= kMinSide && rgb->rows >= kMinSide;
}

bool handOver(unsigned char* data, size_t size, unsigned char** out, int* outLength)
{
    if (size > static_cast<size_t>(INT_MAX)) {
        std::free(data);
        return false;
    }
    *out = data;
    *outLength = static_cast<int>(size);
    return true;
}

bool copyOf(const unsigned char* data, int length, unsigned char** out, int* outLength)
{
    unsigned char* copy = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(length)));
    if (!copy)
        return false;
    std::memcpy(copy, data, static_cast<size_t>(length));
    return handOver(copy, static_cast<size_t>(length), out, outLength);
}

// `image` encoded into a block handed to the caller: 1, or -1 on failure.
int encodedOut(const cv::Mat& image, int quality, unsigned char** out, int* outLength)
{
    unsigned char* data = nullptr;
    size_t size = 0;
    return jpeg_codec::encode(image, quality, &data, &size) && handOver(data, size, out, outLength) ? 1 : -1;
}

// Preview detection through the outline steadier.
bool previewOutline(const cv::Mat& rgb, Quad* shown)
{
    Quad previous;
    const PreviewTracker::Search search = previewTracker().plan(rgb.size(), &previous);
    // A still scene keeps its outline without a search: no cost, no jitter.
    if (search == PreviewTracker::Search::Track && previewTracker().stillSinceSearch(rgb))
        return previewTracker().update(true, previous, rgb.size(), shown);
    DocumentDetector::Result found;
    const bool ok = DocumentDetector::find(rgb, &found, nullptr,
                                           search == PreviewTracker::Search::Track ? &previous : nullptr,
                                           search == PreviewTracker::Search::Quick);
    if (ok)
        previewTracker().noteSearch(rgb);
    return previewTracker().update(ok, found.quad, rgb.size(), shown);
}

// OpenCV reports misuse by exceptions; none may cross the C boundary.
template <class Work>
int guarded(const char* name, Work work)
{
    try {
        setUpOnce();
        return work();
    } catch (...) {
        std::fprintf(stderr, "ImageProc: %s failed inside OpenCV\n", name);
        return -1;
    }
}

} // namespace

extern "C" {

int RAW_DrawLine(unsigned char* rgb, int width, int stride, int height, int colour, int thickness)
{
    if (!rawAcceptable(rgb, width, stride, height))
        return -1;
    return guarded("RAW_DrawLine", [&] {
        cv::Mat image = wrapRaw(rgb, width, stride, height);
        Quad shown;
        if (!previewOutline(image, &shown))
            return 0;
        OutlinePainter::draw(&image, shown, colour, thickness);
        return 1;
    });
}

int RAW_Crop(unsigned char* rgb, int width, int stride, int height, unsigned char** out,
             int* outWidth, int* outStride, int* outHeight)
{
    if (out)
        *out = nullptr;
    if (!out || !outWidth || !outStride || !outHeight || !rawAcceptable(rgb, width, stride, height))
        return -1;
    *outWidth = *outStride = *outHeight = 0;
    return guarded("RAW_Crop", [&] {
        const cv::Mat image = wrapRaw(rgb, width, stride, height);
        DocumentDetector::Result found;
        if (!DocumentDetector::find(image, &found))
            return 0;
        const cv::Mat page = PageWarper::straighten(image, found.quad, jpeg_codec::kMaxPixels);
        if (page.empty())
            return 0;
        const size_t rowBytes = static_cast<size_t>(page.cols) * 3;
        unsigned char* block = static_cast<unsigned char*>(std::malloc(rowBytes * page.rows));
        if (!block)
            return -1;
        for (int y = 0; y < page.rows; ++y)
            std::memcpy(block + rowBytes * y, page.ptr<unsigned char>(y), rowBytes);
        *out = block;
        *outWidth = page.cols;
        *outStride = static_cast<int>(rowBytes);
        *outHeight = page.rows;
        return 1;
    });
}

int JPGFILE_DrawLine(unsigned char* jpeg, int length, int colour, int thickness,
                     unsigned char** out, int* outLength)
{
    if (!out || !outLength)
        return -1;
    *out = nullptr;
    *outLength = 0;
    return guarded("JPGFILE_DrawLine", [&] {
        cv::Mat image;
        if (!decodeAcceptable(jpeg, length, &image))
            return -1;
        Quad shown;
        if (!previewOutline(image, &shown))
            return copyOf(jpeg, length, out, outLength) ? 0 : -1;
        OutlinePainter::draw(&image, shown, colour, thickness);
        return encodedOut(image, kPreviewQuality, out, outLength);
    });
}

int JPGFILE_Rotate(unsigned char* jpeg, int length, unsigned char** out, int* outLength)
{
    if (!out || !outLength)
        return -1;
    *out = nullptr;
    *outLength = 0;
    return guarded("JPGFILE_Rotate", [&] {
        cv::Mat image;
        if (!decodeAcceptable(jpeg, length, &image))
            return -1;
        DocumentDetector::Result found;
        cv::Mat page;
        if (DocumentDetector::find(image, &found))
            page = PageWarper::straighten(image, found.quad, jpeg_codec::kMaxPixels);
        // Without a page the user still gets the photo, byte for byte.
        if (page.empty())
            return copyOf(jpeg, length, out, outLength) ? 0 : -1;
        image.release();
        return encodedOut(page, kPhotoQuality, out, outLength);
    });
}

int ImageProc_FindDocument(const unsigned char* rgb, int width, int stride, int height,
                           float corners[8])
{
    if (!corners || !rawAcceptable(rgb, width, stride, height))
        return 0;
    const int r = guarded("ImageProc_FindDocument", [&] {
        DocumentDetector::Result found;
        if (!DocumentDetector::find(wrapRaw(rgb, width, stride, height), &found))
            return 0;
        for (int i = 0; i < 4; ++i) {
            corners[2 * i] = found.quad.p[i].x;
            corners[2 * i + 1] = found.quad.p[i].y;
        }
        return 1;
    });
    return r == 1 ? 1 : 0;
}

} // extern "C"
