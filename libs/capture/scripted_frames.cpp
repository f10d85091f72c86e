#include "scripted_frames.h"

#include "jpeg_codec.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace tavik {

namespace {

constexpr int kHandQuality = 85;

void blendPixel(unsigned char* p, int r, int g, int b, double alpha)
{
    p[0] = static_cast<unsigned char>(p[0] + (r - p[0]) * alpha);
    p[1] = static_cast<unsigned char>(p[1] + (g - p[1]) * alpha);
    p[2] = static_cast<unsigned char>(p[2] + (b - p[2]) * alpha);
}

} // namespace

ScriptedFrames::ScriptedFrames(const std::string& format, int width, int height, int pages)
    : m_format(format), m_width(width), m_height(height), m_script(pages)
{
}

bool ScriptedFrames::showPage(int page)
{
    if (page == m_page && m_frames)
        return true;
    VirtualScene::PageLook look = page >= 0 ? VirtualPageScript::lookOf(page) : VirtualScene::PageLook();
    look.present = page >= 0;
    auto scene = std::make_unique<VirtualScene>(m_width, m_height, look);
    m_base = scene->base();
    m_frames = m_format == "YUYV" ? makeYuyvFrames(std::move(scene)) : makeJpegFrames(std::move(scene));
    m_page = page;
    return m_frames != nullptr;
}

// An arm and a hand reaching in from the right edge over the page's middle,
// with its shadow on the desk below and to the left.
void ScriptedFrames::drawHand(double reach, std::vector<unsigned char>& rgb) const
{
    const double h = m_height;
    const double tipX = m_width - reach * m_width * 0.62;
    const double tipY = h * 0.48;
    const double handRadius = 0.1 * h;
    const double armHalf = 0.065 * h;
    const double shadowDx = -0.035 * h;
    const double shadowDy = 0.05 * h;
    auto inside = [&](double x, double y) {
        const double dx = x - tipX, dy = y - tipY;
        if (dx * dx / 1.4 + dy * dy <= handRadius * handRadius)
            return true;
        // The arm rises slightly towards the edge.
        const double armY = tipY - (x - tipX) * 0.08;
        return x >= tipX && std::fabs(y - armY) <= armHalf;
    };
    const int y0 = std::max(0, static_cast<int>(tipY - 0.3 * h));
    const int y1 = std::min(m_height, static_cast<int>(tipY + 0.3 * h));
    const int x0 = std::max(0, static_cast<int>(tipX - handRadius * 1.3 + shadowDx));
    for (int y = y0; y < y1; ++y) {
        unsigned char* row = rgb.data() + static_cast<size_t>(y) * m_width * 3;
        for (int x = x0; x < m_width; ++x) {
            unsigned char* p = row + x * 3;
            if (inside(x, y)) {
                // Lit from above: lighter at the top of the arm.
                const int shade = static_cast<int>(18 * (tipY - y) / (0.2 * h));
                p[0] = static_cast<unsigned char>(std::clamp(222 + shade, 0, 255));
                p[1] = static_cast<unsigned char>(std::clamp(170 + shade, 0, 255));
                p[2] = static_cast<unsigned char>(std::clamp(138 + shade, 0, 255));
            } else if (inside(x - shadowDx, y - shadowDy)) {
                blendPixel(p, 0, 0, 0, 0.45);
            }
        }
    }
}

void ScriptedFrames::reportHandGone(int page) const
{
    // For the measuring tools: when, on the wall clock, the picture held
    // page k with no hand in it for the first time.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::fprintf(stderr, "capture: virtual page %d of %d laid, hand gone at %.3f\n", page + 1,
                 m_script.pages(), now.tv_sec + now.tv_nsec / 1e9);
}

bool ScriptedFrames::compose(int variant, double seconds, std::vector<unsigned char>& out)
{
    const VirtualPageScript::Moment moment = m_script.at(seconds);
    if (!showPage(moment.page))
        return false;
    if (moment.hand < 0) {
        if (m_handPage >= 0 && m_handPage == moment.page) {
            reportHandGone(moment.page);
            m_handPage = -1;
        }
        return m_frames->compose(variant, out);
    }
    m_handPage = moment.laying;
    m_rgb = m_base;
    drawHand(moment.hand, m_rgb);
    if (m_format == "YUYV") {
        out.resize(static_cast<size_t>(m_width) * m_height * 2);
        rgbToYuyv(m_rgb.data(), m_width, m_height, out.data());
        return true;
    }
    return encodeRgbJpeg(m_rgb.data(), m_width, m_height, kHandQuality, false, out);
}

} // namespace tavik
