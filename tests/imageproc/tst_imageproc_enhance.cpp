// ImageProc_Enhance: the scan-like modes on tiny pages of known pixels (bars
// of ink, a thin line, a red seal) under uneven light, and its contract.

#include "imageproc.h"
#include "page_photographer.h"
#include "sheet_composer.h"

#include <QtTest>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <functional>
#include <thread>
#include <vector>

namespace {

enum Mode {
    Original = IMAGEPROC_ENHANCE_ORIGINAL,
    Document = IMAGEPROC_ENHANCE_DOCUMENT,
    Grey = IMAGEPROC_ENHANCE_GREY,
    BlackWhite = IMAGEPROC_ENHANCE_BLACK_WHITE
};

using Light = std::function<double(int x, int y)>;

int enhance(cv::Mat& rgb, int mode)
{
    return ImageProc_Enhance(rgb.data, rgb.cols, static_cast<int>(rgb.step[0]), rgb.rows, mode);
}

// A 240x180 page of `paper` with three lines of "words" (bars 2 pixels wide,
// 10 high) in `ink` and, where `stamp` is set, a stamp's colour; lit by
// `light` (1 = full), with grain of sigma 2.
//   +----------------------------+
//   |  || ||| || |||| || |||     |
//   |  ||| || |||| ||| ||        |
//   |  || ||||| || ||| ||||      |
//   +----------------------------+
cv::Mat litPage(cv::Scalar paper, cv::Scalar ink, const Light& light, cv::Mat* paperMask = nullptr,
                cv::Mat* inkMask = nullptr, const cv::Mat& stamp = cv::Mat(), cv::Scalar stampColour = {})
{
    cv::Mat clean(180, 240, CV_8UC3, paper);
    cv::Mat print = cv::Mat::zeros(clean.size(), CV_8U);
    for (int line = 0; line < 3; ++line) {
        for (int x = 30; x < 200; x += 5) {
            if ((x / 5 + line) % 6 == 0)
                continue;  // a space between words
            cv::rectangle(print, cv::Rect(x, 50 + 30 * line, 2, 10), cv::Scalar(255), cv::FILLED);
        }
    }
    clean.setTo(ink, print);
    if (!stamp.empty())
        clean.setTo(stampColour, stamp);
    cv::Mat lit(clean.size(), CV_8UC3);
    cv::Mat grain(clean.size(), CV_32FC3);
    cv::RNG(7).fill(grain, cv::RNG::NORMAL, 0, 2);
    for (int y = 0; y < clean.rows; ++y) {
        for (int x = 0; x < clean.cols; ++x) {
            for (int c = 0; c < 3; ++c)
                lit.at<cv::Vec3b>(y, x)[c] = cv::saturate_cast<uchar>(
                    clean.at<cv::Vec3b>(y, x)[c] * light(x, y) + grain.at<cv::Vec3f>(y, x)[c]);
        }
    }
    if (paperMask) {
        cv::dilate(print, *paperMask, cv::Mat(), cv::Point(-1, -1), 3);
        *paperMask = *paperMask == 0;
    }
    if (inkMask)
        *inkMask = print.clone();
    return lit;
}

double percentile(const cv::Mat& grey, const cv::Mat& mask, double q)
{
    std::vector<uchar> v;
    for (int y = 0; y < grey.rows; ++y) {
        for (int x = 0; x < grey.cols; ++x) {
            if (mask.at<uchar>(y, x))
                v.push_back(grey.at<uchar>(y, x));
        }
    }
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[std::min(v.size() - 1, static_cast<size_t>(q * v.size()))];
}

cv::Mat greyOf(const cv::Mat& rgb)
{
    cv::Mat grey;
    cv::cvtColor(rgb, grey, cv::COLOR_RGB2GRAY);
    return grey;
}

double hueOf(cv::Scalar c)
{
    cv::Mat pixel(1, 1, CV_32FC3, cv::Scalar(c[0] / 255, c[1] / 255, c[2] / 255));
    cv::cvtColor(pixel, pixel, cv::COLOR_RGB2HSV);
    return pixel.at<cv::Vec3f>(0, 0)[0];
}

// A band across the page, 45% as bright, with edges 8 pixels soft.
double shadowBand(int x, int)
{
    const double inside = std::clamp((std::abs(x - 120) - 36.0) / 8 + 0.5, 0.0, 1.0);
    return 0.45 + 0.55 * inside;
}

// The same band with edges 2 pixels soft, as a small lamp casts it.
double hardShadow(int x, int)
{
    const double inside = std::clamp((std::abs(x - 120) - 36.0) / 2 + 0.5, 0.0, 1.0);
    return 0.5 + 0.5 * inside;
}

} // namespace

Q_DECLARE_METATYPE(Light)
Q_DECLARE_METATYPE(cv::Scalar)

class ImageProcEnhance : public QObject {
    Q_OBJECT

private slots:
    void badInputOrMode_isRefused_pixelsUntouched_data()
    {
        QTest::addColumn<bool>("nullPixels");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("stride");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("mode");
        QTest::newRow("null pixels") << true << 64 << 192 << 48 << 1;
        QTest::newRow("width 15") << false << 15 << 45 << 48 << 1;
        QTest::newRow("height 15") << false << 64 << 192 << 15 << 3;
        QTest::newRow("stride below 3 x width") << false << 64 << 191 << 48 << 2;
        QTest::newRow("width beyond 16384") << false << 16385 << 49155 << 16 << 1;
        QTest::newRow("over 64 megapixels") << false << 8193 << 24579 << 8193 << 1;
        QTest::newRow("mode -1") << false << 64 << 192 << 48 << -1;
        QTest::newRow("mode 4") << false << 64 << 192 << 48 << 4;
    }

    void badInputOrMode_isRefused_pixelsUntouched()
    {
        QFETCH(bool, nullPixels);
        QFETCH(int, width);
        QFETCH(int, stride);
        QFETCH(int, height);
        QFETCH(int, mode);
        // Only 64 x 48 pixels exist: a size checked after reading shows up
        // under the address sanitizer.
        cv::Mat rgb = litPage(cv::Scalar(230, 230, 230), cv::Scalar(20, 20, 20), [](int, int) { return 0.7; });
        rgb = rgb(cv::Rect(0, 0, 64, 48)).clone();
        const cv::Mat before = rgb.clone();
        QCOMPARE(ImageProc_Enhance(nullPixels ? nullptr : rgb.data, width, stride, height, mode), -1);
        QCOMPARE(cv::norm(rgb, before, cv::NORM_INF), 0.0);
    }

    void unevenLight_isRemoved_paperEvenWhite_inkDark_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<cv::Scalar>("paper");
        QTest::addColumn<Light>("light");
        const cv::Scalar white(235, 235, 232), cream(240, 230, 205);
        const Light leftToRight = [](int x, int) { return 1.0 - 0.6 * x / 240; };
        const Light corner = [](int x, int y) { return 1.0 / (1 + (x * x + y * y) / 30000.0); };
        QTest::newRow("文档, gradient") << int(Document) << white << leftToRight;
        QTest::newRow("灰度, gradient") << int(Grey) << white << leftToRight;
        QTest::newRow("文档, lamp in a corner, cream paper") << int(Document) << cream << corner;
        QTest::newRow("文档, shadow band") << int(Document) << white << Light(shadowBand);
        QTest::newRow("灰度, shadow band, cream paper") << int(Grey) << cream << Light(shadowBand);
        QTest::newRow("文档, hard-edged shadow") << int(Document) << white << Light(hardShadow);
    }

    void unevenLight_isRemoved_paperEvenWhite_inkDark()
    {
        QFETCH(int, mode);
        QFETCH(cv::Scalar, paper);
        QFETCH(Light, light);
        cv::Mat paperMask, inkMask;
        cv::Mat rgb = litPage(paper, cv::Scalar(25, 25, 30), light, &paperMask, &inkMask);
        QVERIFY2(percentile(greyOf(rgb), paperMask, 0.95) - percentile(greyOf(rgb), paperMask, 0.05) > 60,
                 "the photo's paper should be uneven to begin with");
        QCOMPARE(enhance(rgb, mode), 1);
        const cv::Mat grey = greyOf(rgb);
        const double low = percentile(grey, paperMask, 0.05), high = percentile(grey, paperMask, 0.95);
        QVERIFY2(high - low <= 8 && low >= 240, qPrintable(QString("paper %1..%2").arg(low).arg(high)));
        const double ink = percentile(grey, inkMask, 0.5);
        QVERIFY2(ink <= 60, qPrintable(QString("ink %1").arg(ink)));
        // The paper is neutral white, not the paper's or the lamp's tint.
        const cv::Scalar mean = cv::mean(rgb, paperMask);
        QVERIFY(std::abs(mean[0] - mean[2]) <= 3);
    }

    void wholeFrame_greyDeskAroundPage_staysDarkerThanPaper()
    {
        // The preview shows the whole frame: a page on a grey desk that
        // covers more of it than the page.
        cv::Mat page = litPage(cv::Scalar(235, 235, 232), cv::Scalar(25, 25, 30), [](int, int) { return 1.0; });
        cv::Mat frame(180, 240, CV_8UC3, cv::Scalar(120, 120, 118));
        page(cv::Rect(60, 40, 120, 90)).copyTo(frame(cv::Rect(60, 40, 120, 90)));
        QCOMPARE(enhance(frame, Document), 1);
        const double desk = cv::mean(greyOf(frame(cv::Rect(0, 0, 240, 30))))[0];
        const double paper = cv::mean(greyOf(frame(cv::Rect(65, 42, 110, 6))))[0];
        QVERIFY2(desk < 200 && paper > 245, qPrintable(QString("desk %1, paper %2").arg(desk).arg(paper)));
    }

    void redSeal_staysRed_data()
    {
        QTest::addColumn<cv::Scalar>("seal");
        QTest::addColumn<Light>("light");
        QTest::newRow("crimson, even light") << cv::Scalar(200, 30, 45) << Light([](int, int) { return 0.9; });
        const Light gradient = [](int x, int) { return 1.0 - 0.5 * x / 240; };
        QTest::newRow("vermilion, gradient") << cv::Scalar(225, 60, 40) << gradient;
        QTest::newRow("carmine, in the shadow") << cv::Scalar(190, 25, 60) << Light(shadowBand);
    }

    void redSeal_staysRed()
    {
        QFETCH(cv::Scalar, seal);
        QFETCH(Light, light);
        // A seal over the words: a ring 5 pixels wide and a solid disc,
        // wider than letters.
        cv::Mat mask = cv::Mat::zeros(180, 240, CV_8U);
        cv::circle(mask, cv::Point(120, 90), 50, cv::Scalar(255), 5);
        cv::circle(mask, cv::Point(120, 90), 18, cv::Scalar(255), cv::FILLED);
        cv::Mat rgb = litPage(cv::Scalar(235, 235, 232), cv::Scalar(25, 25, 30), light, nullptr, nullptr, mask, seal);
        cv::Mat core;
        cv::erode(mask, core, cv::Mat());
        cv::Mat grey = rgb.clone();
        QCOMPARE(enhance(rgb, Document), 1);
        const cv::Scalar out = cv::mean(rgb, core);
        const double hueDifference = std::abs(hueOf(out) - hueOf(seal));
        QVERIFY2(std::min(hueDifference, 360 - hueDifference) <= 10 && out[0] - std::max(out[1], out[2]) >= 120,
                 qPrintable(QString("seal %1,%2,%3").arg(out[0]).arg(out[1]).arg(out[2])));
        // In grey it is grey: the three channels agree everywhere.
        QCOMPARE(enhance(grey, Grey), 1);
        std::vector<cv::Mat> channels;
        cv::split(grey, channels);
        QCOMPARE(cv::norm(channels[0], channels[1], cv::NORM_INF), 0.0);
        QCOMPARE(cv::norm(channels[0], channels[2], cv::NORM_INF), 0.0);
    }

    void pictures_keepTheirTone_data()
    {
        QTest::addColumn<cv::Scalar>("colour");
        QTest::addColumn<Light>("light");
        const Light gradient = [](int x, int) { return 1.0 - 0.5 * x / 240; };
        QTest::newRow("mid grey, gradient") << cv::Scalar(120, 120, 118) << gradient;
        QTest::newRow("light grey, gradient") << cv::Scalar(175, 175, 172) << gradient;
        QTest::newRow("dark grey, shadow band") << cv::Scalar(70, 70, 70) << Light(shadowBand);
        QTest::newRow("green, shadow band") << cv::Scalar(60, 160, 70) << Light(shadowBand);
    }

    void pictures_keepTheirTone()
    {
        QFETCH(cv::Scalar, colour);
        QFETCH(Light, light);
        // A picture 40x50 pixels over the words, where a closing cannot
        // remove it: it must not be taken for paper in the dark. (Inside the
        // shadow: the light under a picture is known only from the paper
        // around it.)
        cv::Mat picture = cv::Mat::zeros(180, 240, CV_8U);
        picture(cv::Rect(100, 60, 40, 50)).setTo(255);
        const cv::Scalar paper(235, 235, 232);
        cv::Mat rgb = litPage(paper, cv::Scalar(25, 25, 30), light, nullptr, nullptr, picture, colour);
        QCOMPARE(enhance(rgb, Document), 1);
        const cv::Scalar out = cv::mean(rgb(cv::Rect(105, 65, 30, 40)));
        for (int c = 0; c < 3; ++c) {
            // The tone curve darkens the middle tones a little, never to
            // white: within 70 levels of the colour on white paper.
            const double onWhite = colour[c] * 255 / paper[c];
            QVERIFY2(std::abs(out[c] - onWhite) <= 70 && out[c] < 230,
                     qPrintable(QString("channel %1: %2, on white paper %3").arg(c).arg(out[c]).arg(onWhite)));
        }
    }

    void thinLine_staysWhole_inBlackAndWhite_data()
    {
        QTest::addColumn<int>("ink");
        QTest::addColumn<double>("slope");
        QTest::addColumn<Light>("light");
        const Light even = [](int, int) { return 0.85; };
        QTest::newRow("1 pixel, dark") << 40 << 0.0 << even;
        QTest::newRow("1 pixel, faint") << 150 << 0.0 << even;
        QTest::newRow("1 pixel, slanted") << 60 << 0.15 << even;
        QTest::newRow("1 pixel, across a shadow's edge") << 60 << 0.0 << Light(shadowBand);
    }

    void thinLine_staysWhole_inBlackAndWhite()
    {
        QFETCH(int, ink);
        QFETCH(double, slope);
        QFETCH(Light, light);
        // The bars of words above, and a thin line under them, blurred as a
        // lens does.
        cv::Mat rgb = litPage(cv::Scalar(235, 235, 232), cv::Scalar(25, 25, 30), light);
        const auto lineY = [slope](int x) { return 150 + slope * (x - 120); };
        for (int x = 20; x < 220; ++x) {
            cv::Vec3b& p = rgb.at<cv::Vec3b>(static_cast<int>(std::lround(lineY(x))), x);
            p = cv::Vec3b(ink, ink, ink) * light(x, 150);
        }
        cv::GaussianBlur(rgb, rgb, cv::Size(), 0.6);
        QCOMPARE(enhance(rgb, BlackWhite), 1);
        int gaps = 0;
        for (int x = 22; x < 218; ++x) {
            const int y = static_cast<int>(std::lround(lineY(x)));
            bool black = false;
            for (int dy = -1; dy <= 1; ++dy)
                black |= rgb.at<cv::Vec3b>(y + dy, x)[0] == 0;
            gaps += black ? 0 : 1;
        }
        QCOMPARE(gaps, 0);
        // Blank paper stays clean, and every pixel is pure black or white.
        const cv::Mat margin = rgb(cv::Rect(10, 5, 220, 35));
        QCOMPARE(cv::countNonZero(greyOf(margin) != 255), 0);
        const cv::Mat values = rgb.reshape(1);
        QCOMPARE(cv::countNonZero((values != 0) & (values != 255)), 0);
    }

    void photographedSheet_paperEvensOut_andQuarterScaleAgrees()
    {
        // A rendered sheet (text, tables, small characters, a seal) under a
        // lamp and the arm's shadow, and the preview's quarter of it.
        const cv::Size size(720, 1020);
        const Sheet sheet = SheetComposer::make(11, size);
        SceneRandom rng(12);
        const PagePhotographer::Conditions lampAndArm = PagePhotographer::randomConditions(size, true, rng);
        const cv::Mat photo = PagePhotographer::shoot(sheet.clean, lampAndArm, 13);
        cv::Mat doc = photo.clone();
        QCOMPARE(enhance(doc, Document), 1);
        const cv::Mat grey = greyOf(doc);
        QVERIFY(percentile(greyOf(photo), sheet.paper, 0.95) - percentile(greyOf(photo), sheet.paper, 0.05) > 60);
        QVERIFY(percentile(grey, sheet.paper, 0.95) - percentile(grey, sheet.paper, 0.05) <= 8);

        cv::Mat quarter;
        cv::resize(photo, quarter, size / 4, 0, 0, cv::INTER_AREA);
        QCOMPARE(enhance(quarter, Document), 1);
        cv::Mat expected, difference;
        cv::resize(grey, expected, size / 4, 0, 0, cv::INTER_AREA);
        cv::absdiff(greyOf(quarter), expected, difference);
        QVERIFY2(cv::mean(difference)[0] < 8, qPrintable(QString("mean difference %1").arg(cv::mean(difference)[0])));
    }

    void original_changesNothing_andPaddingIsNeverWritten()
    {
        cv::Mat padded(180, 240 * 3 + 7, CV_8U, cv::Scalar(0xAB));
        cv::Mat page = litPage(cv::Scalar(235, 235, 232), cv::Scalar(25, 25, 30), Light(shadowBand));
        for (int mode : {Original, Document, Grey, BlackWhite}) {
            cv::Mat rgb(180, 240, CV_8UC3, padded.data, padded.step[0]);
            page.copyTo(rgb);
            QCOMPARE(ImageProc_Enhance(padded.data, 240, static_cast<int>(padded.step[0]), 180, mode), 1);
            if (mode == Original)
                QCOMPARE(cv::norm(rgb, page, cv::NORM_INF), 0.0);
            QCOMPARE(cv::countNonZero(padded.colRange(240 * 3, padded.cols) != 0xAB), 0);
        }
    }

    void extremeSizes_areHandled_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("16x16") << 16 << 16;
        QTest::newRow("16384x16") << 16384 << 16;
        QTest::newRow("16x4000") << 16 << 4000;
    }

    void extremeSizes_areHandled()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        cv::Mat rgb(height, width, CV_8UC3, cv::Scalar(200, 190, 180));
        cv::line(rgb, cv::Point(0, 0), cv::Point(width - 1, height - 1), cv::Scalar(10, 10, 10), 2);
        for (int mode : {Document, Grey, BlackWhite}) {
            cv::Mat copy = rgb.clone();
            QCOMPARE(enhance(copy, mode), 1);
            QVERIFY(copy.at<cv::Vec3b>(height / 2, 0)[0] > 200);  // paper, now white
        }
    }

    void enhance_givesTheSameResult_fromTwoThreadsAtOnce()
    {
        // No state is kept: photo and preview may run it together (run
        // under the thread sanitizer too).
        const cv::Mat page = litPage(cv::Scalar(235, 235, 232), cv::Scalar(25, 25, 30), Light(shadowBand));
        cv::Mat alone = page.clone();
        enhance(alone, Document);
        std::vector<cv::Mat> results(2);
        auto work = [&](int who) {
            for (int i = 0; i < 10; ++i) {
                results[who] = page.clone();
                enhance(results[who], Document);
            }
        };
        std::thread other(work, 1);
        work(0);
        other.join();
        QCOMPARE(cv::norm(results[0], alone, cv::NORM_INF), 0.0);
        QCOMPARE(cv::norm(results[1], alone, cv::NORM_INF), 0.0);
    }
};

QTEST_GUILESS_MAIN(ImageProcEnhance)
#include "tst_imageproc_enhance.moc"
