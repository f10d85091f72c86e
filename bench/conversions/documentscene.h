/*
 * A camera-like test frame for the decoding benchmarks: a document lying
 * slightly askew on a wooden desk, with rows of glyph-like text, a coloured
 * letterhead and sensor noise, so that a JPEG of it costs what a real
 * document-camera frame costs to decode.
 */
#ifndef TAVIK_BENCH_DOCUMENTSCENE_H
#define TAVIK_BENCH_DOCUMENTSCENE_H

#include <vector>

// Packed RGB888, width*height*3 bytes. Deterministic for a given size.
std::vector<unsigned char> renderDocumentScene(int width, int height);

// Baseline JPEG, 4:2:2 chroma subsampling, as UVC cameras send. Empty on failure.
std::vector<unsigned char> encodeJpeg422(const std::vector<unsigned char>& rgb, int width, int height, int quality);

// Packed YUYV of the same scene (BT.601 full range), width*height*2 bytes.
std::vector<unsigned char> toYuyv(const std::vector<unsigned char>& rgb, int width, int height);

#endif // TAVIK_BENCH_DOCUMENTSCENE_H
