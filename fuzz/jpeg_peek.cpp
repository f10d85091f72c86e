#include "jpeg_peek.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace {

struct PeekError {
    jpeg_error_mgr pub;   // first: libjpeg's err pointer is the whole record
    jmp_buf jump;
};

void peekErrorExit(j_common_ptr cinfo)
{
    longjmp(reinterpret_cast<PeekError*>(cinfo->err)->jump, 1);
}

void peekQuiet(j_common_ptr) {}

} // namespace

bool jpegDeclaredSize(const uint8_t* data, size_t size, long long* width, long long* height)
{
    if (size == 0)
        return false;
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    PeekError err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = peekErrorExit;
    err.pub.output_message = peekQuiet;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    *width = cinfo.image_width;
    *height = cinfo.image_height;
    jpeg_destroy_decompress(&cinfo);
    return true;
}
