// Reads a JPEG's declared size without decoding it, so that harnesses can
// skip pictures too large to decode quickly under the sanitizers.
#ifndef TAVIK_FUZZ_JPEG_PEEK_H
#define TAVIK_FUZZ_JPEG_PEEK_H

#include <cstddef>
#include <cstdint>

// Any thread. False when libjpeg cannot read the header.
bool jpegDeclaredSize(const uint8_t* data, size_t size, long long* width, long long* height);

#endif
