#include "jpeg_codec.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>

namespace tavik {

namespace {

struct ErrorExit {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void onJpegError(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorExit*>(cinfo->err);
    char text[JMSG_LENGTH_MAX];
    cinfo->err->format_message(cinfo, text);
    std::fprintf(stderr, "capture: libjpeg: %s\n", text);
    std::longjmp(err->jump, 1);
}

void ignoreWarning(j_common_ptr, int) {}

void appendTable(std::vector<unsigned char>& out, int classAndId, const JHUFF_TBL* table)
{
    out.push_back(static_cast<unsigned char>(classAndId));
    int count = 0;
    for (int i = 1; i <= 16; ++i) {
        out.push_back(table->bits[i]);
        count += table->bits[i];
    }
    out.insert(out.end(), table->huffval, table->huffval + count);
}

std::vector<unsigned char> buildStandardHuffmanSegment()
{
    // libjpeg fills in the standard tables as its defaults: take them from
    // there rather than keeping a second copy of the numbers.
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    cinfo.in_color_space = JCS_RGB;
    cinfo.input_components = 3;
    jpeg_set_defaults(&cinfo);
    std::vector<unsigned char> segment = {0xFF, 0xC4, 0, 0};
    appendTable(segment, 0x00, cinfo.dc_huff_tbl_ptrs[0]);
    appendTable(segment, 0x10, cinfo.ac_huff_tbl_ptrs[0]);
    appendTable(segment, 0x01, cinfo.dc_huff_tbl_ptrs[1]);
    appendTable(segment, 0x11, cinfo.ac_huff_tbl_ptrs[1]);
    jpeg_destroy_compress(&cinfo);
    size_t length = segment.size() - 2;
    segment[2] = static_cast<unsigned char>(length >> 8);
    segment[3] = static_cast<unsigned char>(length & 0xFF);
    return segment;
}

} // namespace

bool encodeRgbJpeg(const unsigned char* rgb, int width, int height, int quality,
                   bool restartEveryRow, std::vector<unsigned char>& out)
{
    jpeg_compress_struct cinfo;
    ErrorExit err;
    unsigned char* mem = nullptr;
    unsigned long memSize = 0;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = onJpegError;
    jpeg_create_compress(&cinfo);
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(mem);
        return false;
    }
    jpeg_mem_dest(&cinfo, &mem, &memSize);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.dct_method = JDCT_ISLOW;
    if (restartEveryRow)
        cinfo.restart_in_rows = 1;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + static_cast<size_t>(cinfo.next_scanline) * width * 3);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    out.assign(mem, mem + memSize);
    jpeg_destroy_compress(&cinfo);
    std::free(mem);
    return true;
}

bool decodeJpegRgb(const unsigned char* data, size_t len, std::vector<unsigned char>& rgb,
                   int& width, int& height)
{
    jpeg_decompress_struct cinfo;
    ErrorExit err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = onJpegError;
    err.mgr.emit_message = ignoreWarning;
    jpeg_create_decompress(&cinfo);
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(len));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    width = static_cast<int>(cinfo.output_width);
    height = static_cast<int>(cinfo.output_height);
    rgb.resize(static_cast<size_t>(width) * height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = rgb.data() + static_cast<size_t>(cinfo.output_scanline) * width * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

const std::vector<unsigned char>& standardHuffmanSegment()
{
    // Never destroyed: a capture thread may still repair a frame while the
    // process exits.
    static const auto* segment = new std::vector<unsigned char>(buildStandardHuffmanSegment());
    return *segment;
}

} // namespace tavik
