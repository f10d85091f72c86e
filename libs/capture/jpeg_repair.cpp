#include "jpeg_repair.h"

#include "jpeg_codec.h"
#include "jpeg_segments.h"

namespace tavik {

bool repairJpeg(const unsigned char* data, size_t len, std::vector<unsigned char>& out)
{
    JpegHeaderLayout layout;
    if (!walkJpegHeader(data, len, layout))
        return false;
    const long eoi = findLastEoi(data, len, layout.scanOffset);
    if (eoi < 0)
        return false;
    const size_t end = static_cast<size_t>(eoi) + 2;
    out.clear();
    if (layout.hasHuffmanTables) {
        out.assign(data, data + end);
        return true;
    }
    const std::vector<unsigned char>& tables = standardHuffmanSegment();
    out.reserve(end + tables.size());
    out.assign(data, data + layout.sosOffset);
    out.insert(out.end(), tables.begin(), tables.end());
    out.insert(out.end(), data + layout.sosOffset, data + end);
    return true;
}

} // namespace tavik
