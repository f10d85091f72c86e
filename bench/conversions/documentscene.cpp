#include "documentscene.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

namespace {

uint32_t hash(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

unsigned char clampByte(double c)
{
    return static_cast<unsigned char>(std::clamp(c, 0.0, 255.0));
}

// Ink at page coordinates (u, v) in pixels of a page of pageW x pageH: a
// letterhead band, then lines of words made of 5x7 random glyph cells.
bool ink(double u, double v, double pageW, double pageH, double* tint)
{
    const double margin = pageW * 0.08;
    *tint = 0.0;
    if (u < margin || u > pageW - margin || v < margin || v > pageH - margin)
        return false;
    const double glyphW = pageW / 110.0, glyphH = glyphW * 1.5, lineH = glyphH * 1.7;
    const int line = static_cast<int>((v - margin) / lineH);
    const double inLine = (v - margin) - line * lineH;
    if (line < 3) { // letterhead: a bold coloured title
        *tint = 1.0;
        return line == 1 && u < pageW * 0.6 && (hash(static_cast<uint32_t>(u / (glyphW * 0.5))) & 3) != 0;
    }
    if (inLine >= glyphH || (hash(static_cast<uint32_t>(line) * 977U) % 9) == 0) // blank lines: paragraphs
        return false;
    const int cell = static_cast<int>((u - margin) / glyphW);
    const uint32_t word = hash(static_cast<uint32_t>(line) * 7919U + static_cast<uint32_t>(cell / 7));
    if (cell % 7 >= 3 + static_cast<int>(word % 4)) // the gap after each word
        return false;
    const int gx = static_cast<int>((u - margin - cell * glyphW) / glyphW * 6.0);
    const int gy = static_cast<int>(inLine / glyphH * 8.0);
    if (gx >= 5 || gy >= 7)
        return false;
    const uint32_t glyph = hash(static_cast<uint32_t>(line) * 131071U + static_cast<uint32_t>(cell));
    return (glyph >> (gx * 7 + gy) % 32 & 1) != 0 || (gx == 0 && (glyph & 1));
}

} // namespace

std::vector<unsigned char> renderDocumentScene(int width, int height)
{
    std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
    const double angle = 3.0 * M_PI / 180.0, c = std::cos(angle), s = std::sin(angle);
    const double pageW = width * 0.55, pageH = pageW * 1.414 > height * 0.92 ? height * 0.92 : pageW * 1.414;
    const double cx = width * 0.5, cy = height * 0.5;
    uint32_t noise = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double light = 1.0 - 0.25 * (std::hypot(x - cx, y - cy) / std::hypot(cx, cy));
            const double u = (x - cx) * c + (y - cy) * s + pageW / 2, v = -(x - cx) * s + (y - cy) * c + pageH / 2;
            double r, g, b;
            if (u >= 0 && u < pageW && v >= 0 && v < pageH) {
                double tint;
                const bool dark = ink(u, v, pageW, pageH, &tint);
                r = dark ? (tint > 0 ? 40 : 35) : 236;
                g = dark ? (tint > 0 ? 60 : 35) : 234;
                b = dark ? (tint > 0 ? 150 : 40) : 226;
            } else {
                const double grain = 0.5 + 0.5 * std::sin(y * 0.045 + 4.0 * std::sin(x * 0.004) + (x % 97) * 0.002);
                r = 110 + 35 * grain;
                g = 75 + 25 * grain;
                b = 45 + 15 * grain;
            }
            unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            for (int k = 0; k < 3; ++k) {
                noise = hash(noise + 0x9e3779b9U);
                const double n = ((noise & 0xFF) + (noise >> 8 & 0xFF) - 255.0) / 255.0 * 7.0; // sensor noise
                p[k] = clampByte((k == 0 ? r : k == 1 ? g : b) * light + n);
            }
        }
    }
    return rgb;
}

std::vector<unsigned char> encodeJpeg422(const std::vector<unsigned char>& rgb, int width, int height, int quality)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr); // a failure here ends the benchmark run, as it should
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outLen = 0;
    jpeg_mem_dest(&cinfo, &out, &outLen);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.comp_info[0].h_samp_factor = 2;
    cinfo.comp_info[0].v_samp_factor = 1;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(&rgb[static_cast<size_t>(cinfo.next_scanline) * width * 3]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<unsigned char> jpeg(out, out + outLen);
    jpeg_destroy_compress(&cinfo);
    free(out);
    return jpeg;
}

std::vector<unsigned char> toYuyv(const std::vector<unsigned char>& rgb, int width, int height)
{
    std::vector<unsigned char> yuyv(static_cast<size_t>(width) * height * 2);
    for (size_t i = 0; i + 1 < static_cast<size_t>(width) * height; i += 2) {
        const unsigned char* p = &rgb[i * 3];
        const double y0 = 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
        const double y1 = 0.299 * p[3] + 0.587 * p[4] + 0.114 * p[5];
        const double r = (p[0] + p[3]) / 2.0, g = (p[1] + p[4]) / 2.0, b = (p[2] + p[5]) / 2.0;
        const double y = 0.299 * r + 0.587 * g + 0.114 * b;
        yuyv[i * 2] = clampByte(y0);
        yuyv[i * 2 + 1] = clampByte(128 + 0.564 * (b - y));
        yuyv[i * 2 + 2] = clampByte(y1);
        yuyv[i * 2 + 3] = clampByte(128 + 0.713 * (r - y));
    }
    return yuyv;
}
