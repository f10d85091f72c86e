#include "imagemode.h"

#include "imageprocloader.h"
#include "photofile.h"

#include <atomic>
#include <cstring>
#include <vector>

namespace ImageMode {

namespace {

std::atomic<int> g_mode{Original};

// The outline's pen: the same constants the frame pipeline always used.
constexpr int kOutlineColour = 1;
constexpr int kOutlineThickness = 2;

} // namespace

void set(Mode mode)
{
    g_mode = mode;
}

Mode current()
{
    return static_cast<Mode>(g_mode.load());
}

QImage photo(const QImage& picture, Mode mode)
{
    if (mode == Original || !cac_func_enhance || picture.isNull())
        return picture;
    QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    if (cac_func_enhance(rgb.bits(), rgb.width(), int(rgb.bytesPerLine()), rgb.height(), mode) != 1)
        return picture;
    return mode == Document ? rgb : rgb.convertToFormat(QImage::Format_Grayscale8);
}

QImage forFile(const QImage& picture, Mode mode, const QString& suffix)
{
    if (mode == Original || mode == Document || !cac_func_enhance || picture.isNull())
        return picture;
    // A turn may have widened the grey picture to colour.
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    if (mode == Grey || suffix == QLatin1String("jpg"))
        return grey;
    // The pixels are black or white already; a turn may have smoothed edges.
    return PhotoFile::blackThenWhite(grey.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither));
}

int preview(uint8_t* rgb, int width, int height, int stride, Mode mode, bool outline)
{
    if (mode == Original || !cac_func_enhance) {
        if (outline && cac_func_drawLine)
            return cac_func_drawLine(rgb, width, stride, height, kOutlineColour, kOutlineThickness);
        return -1;
    }
    // The page is found in the picture as the camera sees it (an enhanced
    // desk may be as white as the paper); the pixels the outline took keep
    // its colours, all others show the mode.
    const size_t bytes = static_cast<size_t>(stride) * static_cast<size_t>(height);
    std::vector<uint8_t> shown(rgb, rgb + bytes);
    int found = -1;
    if (outline && cac_func_drawLine)
        found = cac_func_drawLine(rgb, width, stride, height, kOutlineColour, kOutlineThickness);
    std::vector<uint8_t> drawn;
    if (found > 0) {
        drawn.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
        for (int y = 0; y < height; ++y) {
            const uint8_t* now = rgb + static_cast<size_t>(y) * stride;
            const uint8_t* before = shown.data() + static_cast<size_t>(y) * stride;
            uint8_t* mark = drawn.data() + static_cast<size_t>(y) * width;
            for (int x = 0; x < width; ++x)
                mark[x] = std::memcmp(now + 3 * x, before + 3 * x, 3) != 0;
        }
    }
    if (cac_func_enhance(shown.data(), width, stride, height, mode) != 1)
        return found;
    if (drawn.empty()) {
        std::memcpy(rgb, shown.data(), bytes);
        return found;
    }
    for (int y = 0; y < height; ++y) {
        uint8_t* row = rgb + static_cast<size_t>(y) * stride;
        const uint8_t* enhanced = shown.data() + static_cast<size_t>(y) * stride;
        const uint8_t* mark = drawn.data() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            if (!mark[x])
                std::memcpy(row + 3 * x, enhanced + 3 * x, 3);
        }
    }
    return found;
}

} // namespace ImageMode
