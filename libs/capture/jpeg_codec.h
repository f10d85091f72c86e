// libjpeg-turbo encoding and decoding for the virtual camera and the repair.
#ifndef TAVIK_CAPTURE_JPEG_CODEC_H
#define TAVIK_CAPTURE_JPEG_CODEC_H

#include <cstddef>
#include <vector>

namespace tavik {

// Encodes packed RGB as a baseline 4:2:0 JPEG with the standard Huffman
// tables; with restartEveryRow a restart marker ends every MCU row (16
// pixel rows), so rows can be swapped between images of the same width.
// Any thread. False (logged) on failure.
bool encodeRgbJpeg(const unsigned char* rgb, int width, int height, int quality,
                   bool restartEveryRow, std::vector<unsigned char>& out);

// Decodes a JPEG into packed RGB. Any thread. False (logged) on failure.
bool decodeJpegRgb(const unsigned char* data, size_t len, std::vector<unsigned char>& rgb,
                   int& width, int& height);

// A whole DHT segment (marker included) holding the four standard tables
// that MJPEG cameras leave out. Any thread.
const std::vector<unsigned char>& standardHuffmanSegment();

} // namespace tavik

#endif
