#include "virtual_scene.h"

#include "jpeg_codec.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace tavik {

namespace {

struct Point {
    double x;
    double y;
};

// Projective map from the unit square onto a quadrilateral, and back.
struct Homography {
    double m[9];

    static Homography squareToQuad(const Point q[4])
    {
        // q: corners for (0,0), (1,0), (1,1), (0,1).
        const double dx1 = q[1].x - q[2].x, dx2 = q[3].x - q[2].x;
        const double dy1 = q[1].y - q[2].y, dy2 = q[3].y - q[2].y;
        const double sx = q[0].x - q[1].x + q[2].x - q[3].x;
        const double sy = q[0].y - q[1].y + q[2].y - q[3].y;
        const double det = dx1 * dy2 - dx2 * dy1;
        const double g = (sx * dy2 - dx2 * sy) / det;
        const double h = (dx1 * sy - sx * dy1) / det;
        return {{q[1].x - q[0].x + g * q[1].x, q[3].x - q[0].x + h * q[3].x, q[0].x,
                 q[1].y - q[0].y + g * q[1].y, q[3].y - q[0].y + h * q[3].y, q[0].y,
                 g, h, 1.0}};
    }

    Homography inverse() const
    {
        const double a = m[0], b = m[1], c = m[2], d = m[3], e = m[4], f = m[5], g = m[6], h = m[7],
                     i = m[8];
        return {{e * i - f * h, c * h - b * i, b * f - c * e,
                 f * g - d * i, a * i - c * g, c * d - a * f,
                 d * h - e * g, b * g - a * h, a * e - b * d}};
    }

    Point map(double x, double y) const
    {
        const double w = m[6] * x + m[7] * y + m[8];
        return {(m[0] * x + m[1] * y + m[2]) / w, (m[3] * x + m[4] * y + m[5]) / w};
    }
};

// Where the words of a text line start and end, in page units.
struct Word {
    double from;
    double to;
};

unsigned hashOf(unsigned a, unsigned b)
{
    unsigned h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0xC2B2AE3Du;
    return h ^ (h >> 13);
}

constexpr double kMarginU = 0.1;
constexpr double kFirstLineV = 0.17;
constexpr double kLinePitch = 0.032;
constexpr double kLineInk = 0.013;
constexpr int kLineCount = 22;

std::vector<std::vector<Word>> layoutText(unsigned layout)
{
    // Layout 0 is the camera's usual page; others also break paragraphs
    // after other lines.
    const int paragraph = 6 - static_cast<int>(layout % 3);
    const unsigned salt = layout * 7919u;
    std::vector<std::vector<Word>> lines(kLineCount);
    for (int line = 0; line < kLineCount; ++line) {
        const bool paragraphEnd = line % paragraph == paragraph - 1;
        const double end = paragraphEnd ? 0.35 + (hashOf(line + salt, 99) % 40) / 100.0 : 1.0 - kMarginU;
        double u = kMarginU + (line % paragraph == 0 ? 0.05 : 0.0);
        for (unsigned w = 0; u < end; ++w) {
            double length = 0.03 + (hashOf(line + salt, w) % 90) / 1000.0;
            lines[line].push_back({u, std::min(u + length, end)});
            u += length + 0.018;
        }
    }
    return lines;
}

void setPixel(unsigned char* p, int r, int g, int b)
{
    p[0] = static_cast<unsigned char>(std::clamp(r, 0, 255));
    p[1] = static_cast<unsigned char>(std::clamp(g, 0, 255));
    p[2] = static_cast<unsigned char>(std::clamp(b, 0, 255));
}

} // namespace

VirtualScene::VirtualScene(int width, int height, const std::string& imagePath)
    : m_width(width), m_height(height),
      m_rgb(static_cast<size_t>(width) * height * 3)
{
    placeBand();
    if (imagePath.empty() || !loadImage(imagePath)) {
        drawDesk();
        drawPage(PageLook());
    }
}

VirtualScene::VirtualScene(int width, int height, const PageLook& look)
    : m_width(width), m_height(height),
      m_rgb(static_cast<size_t>(width) * height * 3)
{
    placeBand();
    drawDesk();
    if (look.present)
        drawPage(look);
}

void VirtualScene::placeBand()
{
    // The band sits on the desk below the page and must not hold the last,
    // possibly partial, 16-pixel row.
    m_bandHeight = std::max(16, (m_height / 12) / 16 * 16);
    m_bandTop = (m_height * 7 / 8) / 16 * 16;
    const int lastFullRowEnd = (m_height / 16) * 16;
    if (m_bandTop + m_bandHeight > lastFullRowEnd - 16)
        m_bandTop = std::max(0, lastFullRowEnd - 16 - m_bandHeight);
}

void VirtualScene::drawDesk()
{
    // Wood grain: one term per row, one per column, scaled to the picture.
    const double scale = 480.0 / m_height;
    std::vector<int> rowTerm(m_height);
    for (int y = 0; y < m_height; ++y) {
        const double t = y * scale;
        rowTerm[y] = static_cast<int>(9 * std::sin(t * 0.045) + 5 * std::sin(t * 0.13 + 1.0));
    }
    std::vector<int> colTerm(m_width);
    for (int x = 0; x < m_width; ++x)
        colTerm[x] = static_cast<int>(4 * std::sin(x * scale * 0.011));
    unsigned char* p = m_rgb.data();
    for (int y = 0; y < m_height; ++y) {
        for (int x = 0; x < m_width; ++x, p += 3) {
            const int v = rowTerm[y] + colTerm[x];
            setPixel(p, 112 + v, 84 + v, 58 + v / 2);
        }
    }
}

void VirtualScene::drawPage(const PageLook& look)
{
    // An A4 sheet, its top edge farther from the lens, turned a little.
    const double h = m_height;
    const Point centre{m_width * 0.5 + look.shiftX * h, h * (0.44 + look.shiftY)};
    const Point local[4] = {{-0.24 * h, -0.38 * h}, {0.24 * h, -0.38 * h},
                            {0.28 * h, 0.38 * h}, {-0.28 * h, 0.38 * h}};
    const double angle = look.turnDegrees * M_PI / 180.0;
    Point quad[4];
    double minX = m_width, maxX = 0, minY = h, maxY = 0;
    for (int i = 0; i < 4; ++i) {
        quad[i] = {centre.x + local[i].x * std::cos(angle) - local[i].y * std::sin(angle),
                   centre.y + local[i].x * std::sin(angle) + local[i].y * std::cos(angle)};
        minX = std::min(minX, quad[i].x);
        maxX = std::max(maxX, quad[i].x);
        minY = std::min(minY, quad[i].y);
        maxY = std::max(maxY, quad[i].y);
    }
    const Homography toPage = Homography::squareToQuad(quad).inverse();
    const std::vector<std::vector<Word>> text = layoutText(look.layout);
    const int x0 = std::max(0, static_cast<int>(minX)), x1 = std::min(m_width - 1, static_cast<int>(maxX) + 1);
    const int y0 = std::max(0, static_cast<int>(minY)), y1 = std::min(m_height - 1, static_cast<int>(maxY) + 1);
    for (int y = y0; y <= y1; ++y) {
        unsigned char* p = m_rgb.data() + (static_cast<size_t>(y) * m_width + x0) * 3;
        for (int x = x0; x <= x1; ++x, p += 3) {
            const Point uv = toPage.map(x + 0.5, y + 0.5);
            if (uv.x < 0 || uv.x > 1 || uv.y < 0 || uv.y > 1)
                continue;
            const int light = static_cast<int>(246 - 10 * uv.x - 6 * uv.y);
            bool ink = false;
            if (uv.y > 0.08 && uv.y < 0.115 && uv.x > 0.28 && uv.x < 0.72) {
                ink = true;   // title
            } else {
                const double t = (uv.y - kFirstLineV) / kLinePitch;
                const int line = static_cast<int>(t);
                if (t >= 0 && line < kLineCount && (t - line) * kLinePitch < kLineInk) {
                    for (const Word& w : text[line]) {
                        if (uv.x >= w.from && uv.x < w.to) {
                            ink = true;
                            break;
                        }
                    }
                }
            }
            if (ink)
                setPixel(p, 48, 48, 58);
            else
                setPixel(p, light, light, light - 4);
        }
    }
}

bool VirtualScene::loadImage(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<unsigned char> picture;
    int w = 0, h = 0;
    if (bytes.empty() || !decodeJpegRgb(bytes.data(), bytes.size(), picture, w, h) || w <= 0 || h <= 0) {
        std::fprintf(stderr, "capture: cannot read TAVIK_VIRTUAL_IMAGE %s, drawing the desk instead\n",
                     path.c_str());
        return false;
    }
    // Nearest-neighbour scaling is enough for a test picture.
    unsigned char* p = m_rgb.data();
    for (int y = 0; y < m_height; ++y) {
        const unsigned char* row = picture.data() + static_cast<size_t>(y) * h / m_height * w * 3;
        for (int x = 0; x < m_width; ++x, p += 3) {
            const unsigned char* s = row + static_cast<size_t>(x) * w / m_width * 3;
            p[0] = s[0];
            p[1] = s[1];
            p[2] = s[2];
        }
    }
    return true;
}

void VirtualScene::renderBand(int variant, std::vector<unsigned char>& rgb) const
{
    const size_t rowBytes = static_cast<size_t>(m_width) * 3;
    const auto first = m_rgb.begin() + static_cast<long>(m_bandTop * rowBytes);
    rgb.assign(first, first + static_cast<long>(m_bandHeight * rowBytes));
    // An orange square that sweeps across and back once per cycle.
    const int side = m_bandHeight * 3 / 4;
    const int travel = m_width - 2 * side;
    const int half = kVariants / 2;
    const int step = variant % kVariants;
    const int position = step < half ? step : kVariants - step;
    const int left = side / 2 + travel * position / half;
    const int top = (m_bandHeight - side) / 2;
    for (int y = top; y < top + side; ++y) {
        unsigned char* p = rgb.data() + y * rowBytes + static_cast<size_t>(left) * 3;
        for (int x = 0; x < side; ++x, p += 3)
            setPixel(p, 240, 120, 20);
    }
}

} // namespace tavik
