#include "jpeg_codec.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>
#include <jerror.h>

namespace jpeg_codec {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return:
// we jump back to the call's setjmp point. Plain C data only lives between
// setjmp and longjmp.
struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    bool truncated;
};

void onError(j_common_ptr cinfo)
{
    ErrorManager* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    longjmp(err->jump, 1);
}

void onMessage(j_common_ptr cinfo, int level)
{
    ErrorManager* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    // A missing end of data is filled with grey by the decoder: a picture
    // that is partly invented must not be taken for the camera's.
    if (level < 0 && err->pub.msg_code == JWRN_JPEG_EOF)
        err->truncated = true;
}

void logFailure(const char* what, j_common_ptr cinfo)
{
    char text[JMSG_LENGTH_MAX] = {0};
    if (cinfo)
        cinfo->err->format_message(cinfo, text);
    std::fprintf(stderr, "ImageProc: %s %s\n", what, text);
}

// Decodes into a buffer the caller allocated once the size is known. Kept in
// C style so that no C++ object lives across the setjmp.
struct DecodeJob {
    const unsigned char* data;
    size_t length;
    int scaleDenom;
    cv::Mat* rgb;
};

bool runDecode(DecodeJob* job)
{
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.pub.emit_message = onMessage;
    err.truncated = false;
    if (setjmp(err.jump)) {
        logFailure("JPEG decoding failed:", reinterpret_cast<j_common_ptr>(&cinfo));
        jpeg_destroy_decompress(&cinfo);
        job->rgb->release();
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, job->data, static_cast<unsigned long>(job->length));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    if (!sizeAcceptable(cinfo.image_width, cinfo.image_height)) {
        std::fprintf(stderr, "ImageProc: JPEG of %ux%u refused\n", cinfo.image_width,
                     cinfo.image_height);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.out_color_space = JCS_RGB;
    cinfo.scale_num = 1;
    cinfo.scale_denom = static_cast<unsigned int>(job->scaleDenom);
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_calc_output_dimensions(&cinfo);
    if (cinfo.output_components != 3 || cinfo.output_width == 0 || cinfo.output_height == 0) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    job->rgb->create(static_cast<int>(cinfo.output_height), static_cast<int>(cinfo.output_width),
                     CV_8UC3);
    jpeg_start_decompress(&cinfo);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = job->rgb->ptr<unsigned char>(static_cast<int>(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    const bool truncated = err.truncated;
    jpeg_destroy_decompress(&cinfo);
    if (truncated) {
        std::fprintf(stderr, "ImageProc: JPEG data truncated\n");
        job->rgb->release();
        return false;
    }
    return true;
}

struct EncodeJob {
    const cv::Mat* rgb;
    int quality;
    unsigned char* buffer;
    unsigned long size;
};

bool runEncode(EncodeJob* job)
{
    jpeg_compress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.truncated = false;
    if (setjmp(err.jump)) {
        logFailure("JPEG encoding failed:", reinterpret_cast<j_common_ptr>(&cinfo));
        jpeg_destroy_compress(&cinfo);
        std::free(job->buffer);
        job->buffer = nullptr;
        job->size = 0;
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &job->buffer, &job->size);
    cinfo.image_width = static_cast<JDIMENSION>(job->rgb->cols);
    cinfo.image_height = static_cast<JDIMENSION>(job->rgb->rows);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, job->quality, TRUE);
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(
            job->rgb->ptr<unsigned char>(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace

bool sizeAcceptable(long long width, long long height)
{
    return width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide
        && width * height <= kMaxPixels;
}

bool decode(const unsigned char* data, size_t length, cv::Mat* rgb, int scaleDenom)
{
    if (!rgb)
        return false;
    rgb->release();
    if (!data || length < 4 || (scaleDenom != 1 && scaleDenom != 2 && scaleDenom != 4
                                && scaleDenom != 8))
        return false;
    // Cheap check of the start-of-image marker before libjpeg is set up.
    if (data[0] != 0xFF || data[1] != 0xD8)
        return false;
    DecodeJob job{data, length, scaleDenom, rgb};
    return runDecode(&job);
}

bool encode(const cv::Mat& rgb, int quality, unsigned char** out, size_t* outLength)
{
    if (!out || !outLength)
        return false;
    *out = nullptr;
    *outLength = 0;
    if (rgb.empty() || rgb.type() != CV_8UC3 || !sizeAcceptable(rgb.cols, rgb.rows))
        return false;
    EncodeJob job{&rgb, quality < 1 ? 1 : (quality > 100 ? 100 : quality), nullptr, 0};
    if (!runEncode(&job))
        return false;
    *out = job.buffer;
    *outLength = job.size;
    return true;
}

} // namespace jpeg_codec
