// JPEG frames assembled from pre-encoded pieces: the picture is encoded
// once with a restart marker after every 16-pixel row, and each frame swaps
// in the rows of the moving band, encoded once per variant. A 4K frame then
// costs a copy instead of an encode.
#include "virtual_frames.h"

#include "jpeg_codec.h"
#include "jpeg_segments.h"

#include <cstdio>

namespace tavik {

namespace {

constexpr int kQuality = 85;
constexpr int kMcuRows = 16;   // 4:2:0 sampling

void appendRow(std::vector<unsigned char>& out, const std::vector<unsigned char>& row, int index,
               int lastIndex)
{
    out.insert(out.end(), row.begin(), row.end());
    if (index < lastIndex) {
        out.push_back(0xFF);
        out.push_back(static_cast<unsigned char>(0xD0 + index % 8));
    }
}

class JpegBandFrames : public VirtualFrames {
public:
    explicit JpegBandFrames(std::unique_ptr<VirtualScene> scene)
        : m_scene(std::move(scene)), m_bands(VirtualScene::kVariants)
    {
    }

    bool prepare()
    {
        std::vector<unsigned char> encoded;
        RestartRows split;
        const VirtualScene& s = *m_scene;
        if (!encodeRgbJpeg(s.base().data(), s.width(), s.height(), kQuality, true, encoded)
            || !splitRestartRows(encoded, split)) {
            std::fprintf(stderr, "capture: virtual camera cannot encode %dx%d\n", s.width(), s.height());
            return false;
        }
        const int rows = static_cast<int>(split.rows.size());
        m_firstBandRow = s.bandTop() / kMcuRows;
        m_bandRows = s.bandHeight() / kMcuRows;
        m_lastRow = rows - 1;
        if (rows != (s.height() + kMcuRows - 1) / kMcuRows || m_firstBandRow + m_bandRows > m_lastRow) {
            std::fprintf(stderr, "capture: virtual camera got an unexpected JPEG layout\n");
            return false;
        }
        m_prefix = split.header;
        for (int r = 0; r < m_firstBandRow; ++r)
            appendRow(m_prefix, split.rows[r], r, m_lastRow);
        for (int r = m_firstBandRow + m_bandRows; r <= m_lastRow; ++r)
            appendRow(m_suffix, split.rows[r], r, m_lastRow);
        m_suffix.push_back(0xFF);
        m_suffix.push_back(0xD9);
        return true;
    }

    bool compose(int variant, std::vector<unsigned char>& out) override
    {
        std::vector<unsigned char>& band = m_bands[variant % VirtualScene::kVariants];
        if (band.empty() && !encodeBand(variant, band))
            return false;
        out.clear();
        out.reserve(m_prefix.size() + band.size() + m_suffix.size());
        out.insert(out.end(), m_prefix.begin(), m_prefix.end());
        out.insert(out.end(), band.begin(), band.end());
        out.insert(out.end(), m_suffix.begin(), m_suffix.end());
        return true;
    }

private:
    bool encodeBand(int variant, std::vector<unsigned char>& band)
    {
        std::vector<unsigned char> rgb, encoded;
        RestartRows split;
        m_scene->renderBand(variant, rgb);
        if (!encodeRgbJpeg(rgb.data(), m_scene->width(), m_scene->bandHeight(), kQuality, true, encoded)
            || !splitRestartRows(encoded, split) || static_cast<int>(split.rows.size()) != m_bandRows) {
            std::fprintf(stderr, "capture: virtual camera cannot encode its marker band\n");
            return false;
        }
        // Restart markers count on from the band's place in the whole picture.
        for (int i = 0; i < m_bandRows; ++i)
            appendRow(band, split.rows[i], m_firstBandRow + i, m_lastRow);
        return true;
    }

    std::unique_ptr<VirtualScene> m_scene;
    std::vector<unsigned char> m_prefix;   // headers and the rows above the band
    std::vector<unsigned char> m_suffix;   // the rows below the band and EOI
    std::vector<std::vector<unsigned char>> m_bands;   // per variant, encoded on first use
    int m_firstBandRow = 0;
    int m_bandRows = 0;
    int m_lastRow = 0;
};

} // namespace

std::unique_ptr<VirtualFrames> makeJpegFrames(std::unique_ptr<VirtualScene> scene)
{
    auto frames = std::make_unique<JpegBandFrames>(std::move(scene));
    if (!frames->prepare())
        return nullptr;
    return frames;
}

} // namespace tavik
