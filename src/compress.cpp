#include "compress.h"

#include <QDebug>

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace {

// libjpeg reports fatal errors through error_exit, which must not return:
// jump back into jpeg_decompress instead of letting libjpeg exit the process.
struct my_error_mgr {
    jpeg_error_mgr pub; // first, so that libjpeg's err pointer is the whole record
    jmp_buf setjmp_buffer;
};

void my_error_exit(j_common_ptr cinfo)
{
    my_error_mgr* err = reinterpret_cast<my_error_mgr*>(cinfo->err);
    (*cinfo->err->output_message)(cinfo);
    longjmp(err->setjmp_buffer, 1);
}

// libjpeg's working memory for one frame; a 3840x2160 progressive image
// needs about 25 MB of it.
constexpr long kMaxDecoderMemory = 256L * 1024 * 1024;

} // namespace

int jpeg_decompress(unsigned char* inbuf, unsigned int size, int scale, unsigned char* outbuf, int* width,
                    int* height, int outbufLen)
{
    if (!inbuf || size == 0 || scale <= 0 || !outbuf || !width || !height || outbufLen <= 0) {
        qDebug("jpeg_decompress: missing input or output");
        return -1;
    }

    // Nothing between setjmp and the end may need a destructor, and the error
    // path reads only cinfo, whose address libjpeg holds (so it lives in memory).
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    my_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr.pub);
    jerr.pub.error_exit = my_error_exit;
    if (setjmp(jerr.setjmp_buffer)) {
        jpeg_destroy_decompress(&cinfo);
        return -1;
    }

    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, inbuf, size);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.scale_num = 1;
    cinfo.scale_denom = static_cast<unsigned int>(scale);
    // The caller reads three bytes per pixel whatever the image holds, so a
    // grey-scale image is expanded to R = G = B as well.
    cinfo.out_color_space = JCS_RGB;
    // A header may claim any size: refuse a picture that could never fit the
    // caller's buffer before libjpeg allocates for it (a progressive image
    // buffers all its coefficients), and bound what libjpeg may take at all.
    jpeg_calc_output_dimensions(&cinfo);
    *width = static_cast<int>(cinfo.output_width);
    *height = static_cast<int>(cinfo.output_height);
    if (static_cast<unsigned long long>(cinfo.output_width) * cinfo.output_height * 3
        > static_cast<unsigned long long>(outbufLen)) {
        jpeg_destroy_decompress(&cinfo);
        return -1;
    }
    cinfo.mem->max_memory_to_use = kMaxDecoderMemory;
    if (!jpeg_start_decompress(&cinfo)) {
        jpeg_destroy_decompress(&cinfo);
        return -1;
    }

    const size_t rowLen = static_cast<size_t>(cinfo.output_width) * cinfo.output_components;
    *width = static_cast<int>(cinfo.output_width);
    *height = static_cast<int>(cinfo.output_height);
    JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                static_cast<JDIMENSION>(rowLen), 1);
    if (!row) {
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        return -1;
    }

    size_t written = 0;
    while (cinfo.output_scanline < cinfo.output_height) {
        if (written + rowLen > static_cast<size_t>(outbufLen)) {
            // Rows left unread make libjpeg fail the finish, which lands in
            // the error path above; the explicit -1 covers a library that
            // lets it pass.
            jpeg_finish_decompress(&cinfo);
            jpeg_destroy_decompress(&cinfo);
            return -1;
        }
        jpeg_read_scanlines(&cinfo, row, 1);
        std::memcpy(outbuf + written, row[0], rowLen);
        written += rowLen;
    }

    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return 0;
}

int jpeg_scaled_size(const unsigned char* inbuf, unsigned int size, int scale, int* width, int* height)
{
    if (!inbuf || size == 0 || scale <= 0 || !width || !height)
        return -1;
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    my_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr.pub);
    jerr.pub.error_exit = my_error_exit;
    if (setjmp(jerr.setjmp_buffer)) {
        jpeg_destroy_decompress(&cinfo);
        return -1;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, inbuf, size);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.scale_num = 1;
    cinfo.scale_denom = static_cast<unsigned int>(scale);
    jpeg_calc_output_dimensions(&cinfo);
    *width = static_cast<int>(cinfo.output_width);
    *height = static_cast<int>(cinfo.output_height);
    jpeg_destroy_decompress(&cinfo);
    return 0;
}
