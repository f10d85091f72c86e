#include "page_renderer.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

void drawText(cv::Mat& page, cv::Rect area, double lineHeight, SceneRandom& rng)
{
    const double scale = lineHeight / 30.0;
    const int thickness = std::max(1, static_cast<int>(std::lround(lineHeight / 14)));
    const cv::Scalar ink(rng.uniform(0, 40), rng.uniform(0, 40), rng.uniform(0, 50));
    for (double y = area.y + lineHeight; y < area.y + area.height; y += lineHeight * 1.6) {
        double x = area.x;
        const double end = area.x + area.width * rng.uniform(0.6, 1.0);
        while (x < end) {
            const int letters = rng.integer(2, 9);
            std::string word;
            for (int i = 0; i < letters; ++i)
                word += static_cast<char>('a' + rng.integer(0, 25));
            cv::putText(page, word, cv::Point(static_cast<int>(x), static_cast<int>(y)),
                        cv::FONT_HERSHEY_SIMPLEX, scale, ink, thickness, cv::LINE_AA);
            x += (letters + 1.2) * lineHeight * 0.55;
        }
    }
}

void drawTable(cv::Mat& page, cv::Rect area, SceneRandom& rng)
{
    const int rows = rng.integer(3, 8), cols = rng.integer(2, 5);
    const cv::Scalar ink(30, 30, 30);
    const int t = std::max(1, page.cols / 500);
    for (int r = 0; r <= rows; ++r) {
        const int y = area.y + area.height * r / rows;
        cv::line(page, cv::Point(area.x, y), cv::Point(area.x + area.width, y), ink, t);
    }
    for (int c = 0; c <= cols; ++c) {
        const int x = area.x + area.width * c / cols;
        cv::line(page, cv::Point(x, area.y), cv::Point(x, area.y + area.height), ink, t);
    }
}

void drawPicture(cv::Mat& page, cv::Rect area, SceneRandom& rng)
{
    cv::Mat roi = page(area);
    const cv::Scalar a(rng.uniform(0, 255), rng.uniform(0, 255), rng.uniform(0, 255));
    const cv::Scalar b(rng.uniform(0, 255), rng.uniform(0, 255), rng.uniform(0, 255));
    for (int y = 0; y < roi.rows; ++y) {
        const double t = static_cast<double>(y) / std::max(1, roi.rows - 1);
        roi.row(y).setTo(a * (1 - t) + b * t);
    }
    for (int i = 0; i < 4; ++i) {
        const cv::Point c(rng.integer(0, roi.cols - 1), rng.integer(0, roi.rows - 1));
        const int r = rng.integer(roi.cols / 10 + 1, roi.cols / 3 + 2);
        cv::circle(roi, c, r, cv::Scalar(rng.uniform(0, 255), rng.uniform(0, 255), rng.uniform(0, 255)),
                   cv::FILLED, cv::LINE_AA);
    }
}

// A card printed all over: a bank card in a saturated colour with its chip
// and embossed number, or an ID card on a pale patterned ground with a photo.
cv::Mat renderColouredCard(PageRenderer::Kind kind, cv::Size size, SceneRandom& rng)
{
    const int w = size.width, h = size.height;
    cv::Mat card(size, CV_8UC3);
    const bool bank = kind == PageRenderer::Kind::BankCard;
    cv::Mat hsv(1, 2, CV_8UC3);
    const double hue = rng.uniform(0, 180);
    hsv.at<cv::Vec3b>(0, 0) = cv::Vec3b(static_cast<uchar>(hue), static_cast<uchar>(bank ? rng.uniform(120, 250) : rng.uniform(20, 60)),
                                        static_cast<uchar>(bank ? rng.uniform(60, 230) : rng.uniform(215, 245)));
    hsv.at<cv::Vec3b>(0, 1) = cv::Vec3b(static_cast<uchar>(std::fmod(hue + rng.uniform(0, 30), 180)),
                                        static_cast<uchar>(bank ? rng.uniform(120, 250) : rng.uniform(20, 60)),
                                        static_cast<uchar>(bank ? rng.uniform(40, 200) : rng.uniform(205, 240)));
    cv::Mat rgb;
    cv::cvtColor(hsv, rgb, cv::COLOR_HSV2RGB);
    const cv::Vec3b a = rgb.at<cv::Vec3b>(0, 0), b = rgb.at<cv::Vec3b>(0, 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double t = (static_cast<double>(x) / w + static_cast<double>(y) / h) / 2;
            card.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>(a[0] * (1 - t) + b[0] * t),
                                                 static_cast<uchar>(a[1] * (1 - t) + b[1] * t),
                                                 static_cast<uchar>(a[2] * (1 - t) + b[2] * t));
        }
    const bool lightGround = cv::mean(card)[1] > 140;
    const cv::Scalar ink = lightGround ? cv::Scalar(30, 30, 40) : cv::Scalar(235, 235, 225);
    if (bank) {
        // Chip, number, name, a logo of two rings.
        cv::rectangle(card, cv::Rect(w / 9, h * 3 / 8, w / 7, h / 6), cv::Scalar(215, 180, 90), cv::FILLED);
        drawText(card, cv::Rect(w / 9, h * 5 / 8, w * 3 / 4, h / 6), h / 9.0, rng);
        cv::putText(card, "4000 1234 5678 9010", cv::Point(w / 9, h * 5 / 8), cv::FONT_HERSHEY_SIMPLEX, h / 220.0,
                    ink, std::max(1, h / 90), cv::LINE_AA);
        cv::circle(card, cv::Point(w * 3 / 4, h * 4 / 5), h / 9, cv::Scalar(230, 60, 40), cv::FILLED, cv::LINE_AA);
        cv::circle(card, cv::Point(w * 3 / 4 + h / 8, h * 4 / 5), h / 9, cv::Scalar(250, 180, 40), cv::FILLED, cv::LINE_AA);
    } else {
        // Fine guilloche waves, a photo, lines of print.
        for (int k = 0; k < 12; ++k) {
            std::vector<cv::Point> wave;
            for (int x = 0; x < w; x += 4)
                wave.emplace_back(x, static_cast<int>(h * (k + 0.5) / 12 + h / 30.0 * std::sin(x * 0.05 + k)));
            cv::polylines(card, wave, false, cv::Scalar(a[0] * 0.9, a[1] * 0.9, a[2] * 0.92), 1, cv::LINE_AA);
        }
        drawPicture(card, cv::Rect(w * 5 / 8, h / 6, w / 4, h * 3 / 5), rng);
        drawText(card, cv::Rect(w / 12, h / 8, w / 2, h * 3 / 4), h / 11.0, rng);
    }
    return card;
}

} // namespace

PageRenderer::Kind PageRenderer::randomKind(SceneRandom& rng)
{
    const double u = rng.uniform(0, 1);
    if (u < 0.4)
        return Kind::A4;
    if (u < 0.6)
        return Kind::Letter;
    if (u < 0.75)
        return Kind::A5;
    if (u < 0.88)
        return Kind::Receipt;
    return Kind::Card;
}

const char* PageRenderer::name(Kind kind)
{
    switch (kind) {
    case Kind::A4: return "A4";
    case Kind::Letter: return "Letter";
    case Kind::A5: return "A5";
    case Kind::Receipt: return "receipt";
    case Kind::Card: return "card";
    case Kind::BankCard: return "bank card";
    case Kind::IdCard: return "ID card";
    }
    return "?";
}

double PageRenderer::aspect(Kind kind, SceneRandom& rng)
{
    switch (kind) {
    case Kind::A4:
    case Kind::A5: return std::sqrt(2.0);
    case Kind::Letter: return 11.0 / 8.5;
    case Kind::Receipt: return rng.uniform(1.8, 3.2);
    case Kind::Card: return 85.6 / 54.0;
    case Kind::BankCard:
    case Kind::IdCard: return 54.0 / 85.6;
    }
    return 1.414;
}

cv::Scalar PageRenderer::paperTint(SceneRandom& rng)
{
    const int pick = rng.integer(0, 5);
    const double v = rng.uniform(225, 252);
    switch (pick) {
    case 1: return cv::Scalar(v, v - 4, v - 18);      // cream
    case 2: return cv::Scalar(v - 12, v - 12, v - 14); // recycled grey
    case 3: return cv::Scalar(v - 8, v - 3, v);        // bluish white
    case 4: return cv::Scalar(v, v - 10, v - 6);       // pink tint
    default: return cv::Scalar(v, v, v - 2);           // white
    }
}

cv::Mat PageRenderer::render(Kind kind, cv::Size size, cv::Scalar paper, SceneRandom& rng)
{
    cv::Mat page(size, CV_8UC3, paper);
    const int w = size.width, h = size.height;
    if (kind == Kind::BankCard || kind == Kind::IdCard)
        return renderColouredCard(kind, size, rng);
    if (kind == Kind::Card) {
        // A coloured band, a photo block and a few lines of print.
        const cv::Scalar band(rng.uniform(0, 200), rng.uniform(0, 200), rng.uniform(60, 255));
        cv::rectangle(page, cv::Rect(0, 0, w, h / 5), band, cv::FILLED);
        drawPicture(page, cv::Rect(w / 16, h / 3, w / 4, h / 2), rng);
        drawText(page, cv::Rect(w * 3 / 8, h / 3, w / 2, h / 2), h / 12.0, rng);
        return page;
    }
    const int margin = static_cast<int>(w * rng.uniform(0.06, 0.12));
    const double line = std::max(4.0, (kind == Kind::Receipt ? w / 22.0 : w / 45.0) * rng.uniform(0.8, 1.3));
    int y = margin;
    while (y < h - margin - line * 3) {
        const double u = rng.uniform(0, 1);
        const int remaining = h - margin - y;
        if (u < 0.6 || kind == Kind::Receipt) {
            const int height = std::min(remaining, static_cast<int>(line * rng.integer(3, 12) * 1.6));
            drawText(page, cv::Rect(margin, y, w - 2 * margin, height), line, rng);
            y += height + static_cast<int>(line);
        } else if (u < 0.8) {
            const int height = std::min(remaining, static_cast<int>(h * rng.uniform(0.08, 0.2)));
            drawTable(page, cv::Rect(margin, y, w - 2 * margin, height), rng);
            y += height + static_cast<int>(line);
        } else {
            const int height = std::min(remaining, static_cast<int>(h * rng.uniform(0.1, 0.3)));
            const int width = static_cast<int>((w - 2 * margin) * rng.uniform(0.4, 1.0));
            if (height > 4 && width > 4)
                drawPicture(page, cv::Rect(margin, y, width, height), rng);
            y += height + static_cast<int>(line);
        }
    }
    return page;
}
