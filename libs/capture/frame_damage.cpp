#include "frame_damage.h"

#include "jpeg_segments.h"
#include "virtual_camera.h"

#include <algorithm>

namespace tavik {

namespace {

// 61 and 100 share no factor, so each run of 100 frames visits every slot
// once, and the hit frames are scattered rather than bunched.
constexpr unsigned kSlotStride = 61;

} // namespace

void FrameDamage::apply(std::vector<unsigned char>& jpeg)
{
    int damaged = 0, truncated = 0;
    virtualDamage(damaged, truncated);
    const int slot = static_cast<int>((m_frame++ * kSlotStride) % 100);
    if (slot >= damaged + truncated)
        return;
    JpegHeaderLayout layout;
    if (!walkJpegHeader(jpeg.data(), jpeg.size(), layout) || jpeg.size() < layout.scanOffset + 16)
        return;
    const size_t scanBytes = jpeg.size() - 2 - layout.scanOffset;
    if (slot < damaged) {
        // Garbage in the middle third of the scan, never a marker byte.
        size_t from = layout.scanOffset + scanBytes / 3;
        size_t to = std::min(from + std::max<size_t>(scanBytes / 3, 1), from + 4096);
        for (size_t i = from; i < to; ++i) {
            m_noise = m_noise * 1103515245u + 12345u;
            unsigned char b = static_cast<unsigned char>(m_noise >> 16);
            jpeg[i] = b == 0xFF ? 0x5A : b;
        }
        if (jpeg[from - 1] == 0xFF)
            jpeg[from] = 0x00;   // the byte after a kept 0xFF must stay a stuffing byte
        return;
    }
    // Cut short half-way through the scan; EOI appended so delivery keeps it.
    size_t cut = layout.scanOffset + scanBytes / 2;
    if (jpeg[cut - 1] == 0xFF)
        --cut;
    jpeg.resize(cut);
    jpeg.push_back(0xFF);
    jpeg.push_back(0xD9);
}

} // namespace tavik
