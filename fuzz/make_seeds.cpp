// Writes the seed corpora of fuzz/corpus: a few small valid inputs per
// target, laid out as each harness reads its leading bytes.
//
//   make_seeds <corpus folder>
#include <QBuffer>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

using Bytes = std::vector<unsigned char>;

struct Picture {
    int width;
    int height;
    Bytes rgb;
};

// A light page (quadrilateral) on a dark desk, with a little texture.
Picture pagePicture(int width, int height)
{
    Picture p{width, height, Bytes(static_cast<size_t>(width) * height * 3)};
    const double qx[4] = {0.22 * width, 0.80 * width, 0.74 * width, 0.18 * width};
    const double qy[4] = {0.15 * height, 0.20 * height, 0.88 * height, 0.80 * height};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            bool inside = true;
            for (int i = 0; i < 4; ++i) {
                const int j = (i + 1) % 4;
                const double cross = (qx[j] - qx[i]) * (y - qy[i]) - (qy[j] - qy[i]) * (x - qx[i]);
                inside = inside && cross >= 0;
            }
            unsigned char* px = &p.rgb[(static_cast<size_t>(y) * width + x) * 3];
            const unsigned char v = inside ? static_cast<unsigned char>(225 + (x * 7 + y * 3) % 20)
                                           : static_cast<unsigned char>(40 + (x ^ y) % 16);
            px[0] = v;
            px[1] = v;
            px[2] = inside ? v : static_cast<unsigned char>(v + 20);
        }
    }
    return p;
}

struct JpegOptions {
    int quality = 75;
    bool grey = false;
    bool progressive = false;
    int restartRows = 0;
    bool subsample = true;
};

Bytes encodeJpeg(const Picture& p, const JpegOptions& o)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* mem = nullptr;
    unsigned long memLen = 0;
    jpeg_mem_dest(&cinfo, &mem, &memLen);
    cinfo.image_width = static_cast<JDIMENSION>(p.width);
    cinfo.image_height = static_cast<JDIMENSION>(p.height);
    cinfo.input_components = o.grey ? 1 : 3;
    cinfo.in_color_space = o.grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, o.quality, TRUE);
    if (o.progressive)
        jpeg_simple_progression(&cinfo);
    cinfo.restart_in_rows = o.restartRows;
    if (!o.grey && !o.subsample) {
        for (int c = 0; c < 3; ++c)
            cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    }
    jpeg_start_compress(&cinfo, TRUE);
    Bytes row(static_cast<size_t>(p.width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        const unsigned char* src = &p.rgb[static_cast<size_t>(cinfo.next_scanline) * p.width * 3];
        if (o.grey) {
            for (int x = 0; x < p.width; ++x)
                row[x] = src[x * 3];
        } else {
            row.assign(src, src + p.width * 3);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(mem, mem + memLen);
    std::free(mem);
    return out;
}

// The same JPEG with its DHT segments taken out, as MJPEG cameras send.
Bytes withoutHuffmanTables(const Bytes& jpeg)
{
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    size_t pos = 2;
    while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF) {
        const unsigned char marker = jpeg[pos + 1];
        const size_t len = (static_cast<size_t>(jpeg[pos + 2]) << 8) | jpeg[pos + 3];
        if (marker == 0xDA)
            break;
        if (marker != 0xC4)
            out.insert(out.end(), jpeg.begin() + pos, jpeg.begin() + pos + 2 + len);
        pos += 2 + len;
    }
    out.insert(out.end(), jpeg.begin() + pos, jpeg.end());
    return out;
}

Bytes qtImage(const char* format, int width, int height)
{
    const Picture p = pagePicture(width, height);
    QImage image(p.rgb.data(), width, height, width * 3, QImage::Format_RGB888);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.copy().save(&buffer, format);
    return Bytes(bytes.begin(), bytes.end());
}

Bytes cat(Bytes prefix, const Bytes& tail)
{
    prefix.insert(prefix.end(), tail.begin(), tail.end());
    return prefix;
}

void put16(Bytes& b, unsigned v) { b.push_back(v >> 8); b.push_back(v & 0xFF); }
void put24(Bytes& b, unsigned v) { b.push_back(v >> 16); put16(b, v & 0xFFFF); }

// The FakeV4l2Node bytes of a well-behaved camera listing YUYV and MJPEG.
Bytes v4l2Node(bool jpeg, int width, int height, size_t payload)
{
    Bytes b = {static_cast<unsigned char>(jpeg), static_cast<unsigned char>(width + 1),
               static_cast<unsigned char>(height + 1)};
    b.push_back(0);   // standard capabilities
    const char card[32] = "Seed Camera";
    b.insert(b.end(), card, card + 32);
    b.push_back(2);   // formats: YUYV, MJPEG
    b.push_back(0);
    b.push_back(1);
    b.push_back(2);   // sizes: a discrete one and a stepwise range
    b.push_back(1);
    for (unsigned v : {unsigned(width), unsigned(height), 0u, 0u, 0u, 0u})
        put16(b, v);
    b.push_back(3);
    for (unsigned v : {320u, 1920u, 16u, 240u, 1080u, 8u})
        put16(b, v);
    b.push_back(2);   // intervals 1/30, 1/15
    put24(b, 1); put24(b, 30);
    put24(b, 1); put24(b, 15);
    b.push_back(1);   // time per frame settable, 1/30
    put24(b, 1); put24(b, 30);
    b.push_back(0xFF);   // no width skew
    b.push_back(8 + 4);  // rows padded by 4 bytes
    b.push_back(3);      // buffers granted
    b.push_back(0);      // bandwidth fine
    b.push_back(1);      // dequeued index
    b.push_back(0);      // bytes used = payload
    put24(b, static_cast<unsigned>(payload));
    b.push_back(0);      // no error flag
    return b;
}

bool writeFile(const std::string& path, const Bytes& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds <corpus folder>\n");
        return 2;
    }
    const std::string root = argv[1];
    bool ok = true;
    auto put = [&](const std::string& target, const std::string& name, const Bytes& bytes) {
        ok = writeFile(root + "/" + target + "/" + name, bytes) && ok;
    };

    const Picture small = pagePicture(16, 16);
    const Picture medium = pagePicture(48, 32);
    const Picture page = pagePicture(160, 120);
    const Bytes baseline = encodeJpeg(small, {});
    const Bytes grey = encodeJpeg(medium, {60, true});
    const Bytes progressive = encodeJpeg(medium, {60, false, true});
    const Bytes restarts = encodeJpeg(medium, {60, false, false, 1, false});
    const Bytes pageJpeg = encodeJpeg(page, {30});
    const Bytes noTables = withoutHuffmanTables(baseline);

    // jpeg_decompress: scale, output length + 16, JPEG.
    put("jpeg_decompress", "baseline-16x16-scale1", cat({1, 0x10, 0x00, 0x00}, baseline));
    put("jpeg_decompress", "grey-48x32-scale2", cat({2, 0x10, 0x00, 0x00}, grey));
    put("jpeg_decompress", "progressive-48x32-scale4", cat({4, 0x10, 0x00, 0x00}, progressive));
    put("jpeg_decompress", "restarts-48x32-scale8", cat({8, 0x10, 0x00, 0x00}, restarts));
    put("jpeg_decompress", "baseline-output-one-row-short", cat({1, 0x00, 0x02, 0xD0}, baseline));
    put("jpeg_decompress", "no-huffman-tables-16x16-scale1", cat({1, 0x10, 0x00, 0x00}, noTables));

    // imageproc_raw: export, size mode, width, height, stride slack, colour,
    // thickness, background, page colour, corners (x, y) + 20.
    for (int which = 0; which < 3; ++which) {
        Bytes b = {static_cast<unsigned char>(which), 0};
        put16(b, 120 + 2);
        put16(b, 90 + 2);
        b.insert(b.end(), {4 + 4, 1, 3 + 3, 40, 235});
        for (unsigned v : {60u, 40u, 200u, 50u, 190u, 220u, 50u, 200u})
            put16(b, v + 20);
        static const char* const names[] = {"drawline-120x90-page", "crop-120x90-page", "find-120x90-page"};
        put("imageproc_raw", names[which], b);
    }

    // imageproc_enhance: mode + 2, size mode, width, height, stride slack,
    // background, page colour, falloff, corners (x, y) + 20.
    for (int mode = 0; mode < 4; ++mode) {
        Bytes b = {static_cast<unsigned char>(mode + 2), 0};
        put16(b, 120 + 2);
        put16(b, 90 + 2);
        b.insert(b.end(), {4 + 4, 40, 235, 150});
        for (unsigned v : {60u, 40u, 200u, 50u, 190u, 220u, 50u, 200u})
            put16(b, v + 20);
        static const char* const names[] = {"original-120x90-page", "document-120x90-page", "grey-120x90-page",
                                            "blackwhite-120x90-page"};
        put("imageproc_enhance", names[mode], b);
    }

    // imageproc_jpeg: export, colour, thickness, JPEG.
    put("imageproc_jpeg", "drawline-160x120-page", cat({0, 2, 3 + 3}, pageJpeg));
    put("imageproc_jpeg", "rotate-160x120-page", cat({1, 1, 3 + 3}, pageJpeg));
    put("imageproc_jpeg", "rotate-16x16-no-page", cat({1, 1, 3}, baseline));
    put("imageproc_jpeg", "drawline-160x120-no-huffman-tables", cat({0, 4, 3 + 8}, withoutHuffmanTables(pageJpeg)));

    // capture_repair_jpeg: frame bytes.
    put("capture_repair_jpeg", "baseline-16x16", baseline);
    put("capture_repair_jpeg", "no-huffman-tables-16x16", noTables);
    put("capture_repair_jpeg", "padding-after-eoi", cat(noTables, Bytes(64, 0)));
    put("capture_repair_jpeg", "restart-markers-48x32", withoutHuffmanTables(restarts));

    // capture_v4l2_frames: node bytes, payload.
    Bytes yuyv;
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 16 * 2 + 4; ++x)
            yuyv.push_back(static_cast<unsigned char>(x < 32 ? (y * 16 + x) : 0xAB));
    }
    put("capture_v4l2_frames", "yuyv-16x12-padded-rows", cat(v4l2Node(false, 16, 12, yuyv.size()), yuyv));
    put("capture_v4l2_frames", "mjpeg-16x16-no-huffman-tables",
        cat(v4l2Node(true, 16, 16, noTables.size()), cat(noTables, Bytes(32, 0))));

    // thumbnail_add_image: suffix index, row, file bytes.
    put("thumbnail_add_image", "jpeg-16x16", cat({0, 0}, baseline));
    put("thumbnail_add_image", "png-12x8", cat({1, 0}, qtImage("PNG", 12, 8)));
    put("thumbnail_add_image", "bmp-6x4", cat({2, 0}, qtImage("BMP", 6, 4)));
    put("thumbnail_add_image", "ppm-6x4", cat({4, 0}, qtImage("PPM", 6, 4)));
    put("thumbnail_add_image", "xpm-4x4", cat({5, 0}, qtImage("XPM", 4, 4)));
    put("thumbnail_add_image", "jpeg-without-suffix", cat({8, 0}, grey));

    if (!ok)
        std::fprintf(stderr, "make_seeds: could not write every seed under %s\n", root.c_str());
    return ok ? 0 : 1;
}
