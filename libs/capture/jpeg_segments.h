// Walking the marker segments of a JPEG held in memory. Pure functions: any thread.
#ifndef TAVIK_CAPTURE_JPEG_SEGMENTS_H
#define TAVIK_CAPTURE_JPEG_SEGMENTS_H

#include <cstddef>
#include <vector>

namespace tavik {

struct JpegHeaderLayout {
    size_t sosOffset = 0;   // where the first SOS marker starts
    size_t scanOffset = 0;  // first byte of entropy-coded data after it
    bool hasHuffmanTables = false;
};

// Walks from SOI to the first SOS with bounds checks. False when the data
// does not start with SOI, a length runs past the end, or no SOS comes.
bool walkJpegHeader(const unsigned char* data, size_t len, JpegHeaderLayout& layout);

// Offset of the last EOI marker at or after 'from', or -1 when there is none.
long findLastEoi(const unsigned char* data, size_t len, size_t from);

// Splits a baseline JPEG written with a restart marker after every MCU row
// into its header (through SOS) and the entropy-coded data of each row,
// markers left out. False when the layout is not that.
struct RestartRows {
    std::vector<unsigned char> header;
    std::vector<std::vector<unsigned char>> rows;
};
bool splitRestartRows(const std::vector<unsigned char>& jpeg, RestartRows& out);

} // namespace tavik

#endif
