#include "test_jpeg.h"

#include <QBuffer>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

namespace {

struct StrictError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    bool warned = false;
};

void failHard(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<StrictError*>(cinfo->err)->jump, 1);
}

void noteWarning(j_common_ptr cinfo, int level)
{
    if (level < 0)
        reinterpret_cast<StrictError*>(cinfo->err)->warned = true;
}

} // namespace

QByteArray quadrantJpeg()
{
    QImage image(16, 16, QImage::Format_RGB888);
    image.fill(Qt::red);
    for (int y = 0; y < 16; ++y)
        for (int x = y < 8 ? 8 : 0; x < 16; ++x)
            image.setPixel(x, y, y < 8 ? qRgb(0, 255, 0) : x < 8 ? qRgb(0, 0, 255) : qRgb(255, 255, 255));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 90);   // Qt's writer keeps libjpeg's standard tables
    return bytes;
}

QByteArray withoutHuffmanTables(const QByteArray& jpeg)
{
    QByteArray out = jpeg.left(2);
    int pos = 2;
    while (pos + 4 <= jpeg.size()) {
        const auto marker = static_cast<unsigned char>(jpeg[pos + 1]);
        const int length = (static_cast<unsigned char>(jpeg[pos + 2]) << 8) | static_cast<unsigned char>(jpeg[pos + 3]);
        if (marker == 0xDA)
            break;
        if (marker != 0xC4)
            out += jpeg.mid(pos, 2 + length);
        pos += 2 + length;
    }
    return out + jpeg.mid(pos);
}

QImage decodeStrictly(const QByteArray& jpeg)
{
    jpeg_decompress_struct cinfo;
    StrictError err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = failHard;
    err.mgr.emit_message = noteWarning;
    jpeg_create_decompress(&cinfo);
    QImage image;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return QImage();
    }
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(jpeg.constData()),
                 static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    image = QImage(int(cinfo.output_width), int(cinfo.output_height), QImage::Format_RGB888);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = image.scanLine(int(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return err.warned ? QImage() : image;
}
