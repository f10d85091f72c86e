#include "jpeg_segments.h"

namespace tavik {

namespace {

bool isRestart(unsigned char marker) { return marker >= 0xD0 && marker <= 0xD7; }

} // namespace

bool walkJpegHeader(const unsigned char* data, size_t len, JpegHeaderLayout& layout)
{
    if (!data || len < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return false;
    layout = JpegHeaderLayout();
    size_t pos = 2;
    while (pos < len) {
        if (data[pos] != 0xFF)
            return false;
        while (pos < len && data[pos] == 0xFF)   // fill bytes before a marker
            ++pos;
        if (pos >= len)
            return false;
        const unsigned char marker = data[pos];
        const size_t markerStart = pos - 1;
        ++pos;
        if (marker == 0x01 || isRestart(marker))
            continue;   // stand-alone markers carry no length
        if (marker == 0x00 || marker == 0xD8 || marker == 0xD9)
            return false;
        if (pos + 2 > len)
            return false;
        const size_t length = (static_cast<size_t>(data[pos]) << 8) | data[pos + 1];
        if (length < 2 || pos + length > len)
            return false;
        if (marker == 0xC4)
            layout.hasHuffmanTables = true;
        if (marker == 0xDA) {
            layout.sosOffset = markerStart;
            layout.scanOffset = pos + length;
            return true;
        }
        pos += length;
    }
    return false;
}

long findLastEoi(const unsigned char* data, size_t len, size_t from)
{
    if (len < 2 || from > len - 2)
        return -1;
    for (size_t i = len - 1; i-- > from;) {
        if (data[i] == 0xFF && data[i + 1] == 0xD9)
            return static_cast<long>(i);
    }
    return -1;
}

bool splitRestartRows(const std::vector<unsigned char>& jpeg, RestartRows& out)
{
    JpegHeaderLayout layout;
    if (!walkJpegHeader(jpeg.data(), jpeg.size(), layout))
        return false;
    out.header.assign(jpeg.begin(), jpeg.begin() + static_cast<long>(layout.scanOffset));
    out.rows.clear();
    const unsigned char* d = jpeg.data();
    size_t start = layout.scanOffset;
    size_t i = start;
    while (i + 1 < jpeg.size()) {
        if (d[i] != 0xFF) {
            ++i;
            continue;
        }
        const unsigned char next = d[i + 1];
        if (next == 0x00 || next == 0xFF) {   // stuffed byte or fill
            i += next == 0x00 ? 2 : 1;
            continue;
        }
        if (!isRestart(next) && next != 0xD9)
            return false;
        out.rows.emplace_back(d + start, d + i);
        if (next == 0xD9)
            return true;
        i += 2;
        start = i;
    }
    return false;
}

} // namespace tavik
