// YUYV frames: the picture converted once, the band per variant on first use.
#include "virtual_frames.h"

#include <algorithm>
#include <cstring>

namespace tavik {

namespace {

unsigned char clampByte(int v)
{
    return static_cast<unsigned char>(std::clamp(v, 0, 255));
}

class YuyvFrames : public VirtualFrames {
public:
    explicit YuyvFrames(std::unique_ptr<VirtualScene> scene)
        : m_scene(std::move(scene)), m_bands(VirtualScene::kVariants)
    {
        const VirtualScene& s = *m_scene;
        m_base.resize(static_cast<size_t>(s.width()) * s.height() * 2);
        rgbToYuyv(s.base().data(), s.width(), s.height(), m_base.data());
    }

    bool compose(int variant, std::vector<unsigned char>& out) override
    {
        const VirtualScene& s = *m_scene;
        const size_t rowBytes = static_cast<size_t>(s.width()) * 2;
        std::vector<unsigned char>& band = m_bands[variant % VirtualScene::kVariants];
        if (band.empty()) {
            std::vector<unsigned char> rgb;
            s.renderBand(variant, rgb);
            band.resize(rowBytes * s.bandHeight());
            rgbToYuyv(rgb.data(), s.width(), s.bandHeight(), band.data());
        }
        out = m_base;
        std::memcpy(out.data() + rowBytes * s.bandTop(), band.data(), band.size());
        return true;
    }

private:
    std::unique_ptr<VirtualScene> m_scene;
    std::vector<unsigned char> m_base;
    std::vector<std::vector<unsigned char>> m_bands;
};

} // namespace

void rgbToYuyv(const unsigned char* rgb, int width, int rows, unsigned char* out)
{
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x + 1 < width; x += 2) {
            const unsigned char* p = rgb + (static_cast<size_t>(y) * width + x) * 3;
            const int r0 = p[0], g0 = p[1], b0 = p[2], r1 = p[3], g1 = p[4], b1 = p[5];
            const int r = (r0 + r1) / 2, g = (g0 + g1) / 2, b = (b0 + b1) / 2;
            *out++ = clampByte(16 + ((66 * r0 + 129 * g0 + 25 * b0 + 128) >> 8));
            *out++ = clampByte(128 + ((-38 * r - 74 * g + 112 * b + 128) >> 8));
            *out++ = clampByte(16 + ((66 * r1 + 129 * g1 + 25 * b1 + 128) >> 8));
            *out++ = clampByte(128 + ((112 * r - 94 * g - 18 * b + 128) >> 8));
        }
    }
}

std::unique_ptr<VirtualFrames> makeYuyvFrames(std::unique_ptr<VirtualScene> scene)
{
    return std::make_unique<YuyvFrames>(std::move(scene));
}

} // namespace tavik
