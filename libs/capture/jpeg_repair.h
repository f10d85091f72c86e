// Makes an MJPEG frame a standalone JPEG image, or rejects it.
#ifndef TAVIK_CAPTURE_JPEG_REPAIR_H
#define TAVIK_CAPTURE_JPEG_REPAIR_H

#include <cstddef>
#include <vector>

namespace tavik {

// Any thread. Writes the deliverable image into out: SOI checked, padding
// after the last EOI cut, the standard Huffman tables inserted before SOS
// when the frame has none (UVC allows MJPEG without them). False when the
// frame must be dropped: no SOI, bad segment lengths, no SOS, no EOI.
bool repairJpeg(const unsigned char* data, size_t len, std::vector<unsigned char>& out);

} // namespace tavik

#endif
