
#include "imageproc.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <QtTest>

#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

// A dark desk (grey 40) with a white page (grey 235) given by its corners.
QImage pageScene(int w, int h, const QPolygonF& page)
{
    QImage img(w, h, QImage::Format_RGB888);
    img.fill(QColor(40, 42, 45));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(235, 235, 232));
    p.drawPolygon(page);
    return img;
}

const QPolygonF kPage({{60, 40}, {260, 40}, {260, 200}, {60, 200}});

QByteArray toJpeg(const QImage& img, int quality = 90)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, "JPG", quality);
    return bytes;
}

// A valid JPEG whose baseline frame header claims width x height.
QByteArray jpegClaiming(int width, int height)
{
    QByteArray b = toJpeg(pageScene(32, 32, QPolygonF()));
    const char size[4] = {char(height >> 8), char(height), char(width >> 8), char(width)};
    return b.replace(b.indexOf(QByteArray("\xFF\xC0", 2)) + 5, 4, size, 4);
}

std::vector<unsigned char> rgbOf(const QImage& img)
{
    return std::vector<unsigned char>(img.constBits(), img.constBits() + img.sizeInBytes());
}

using JpegCall = int (*)(unsigned char*, int, unsigned char**, int*);
int drawLine3(unsigned char* d, int n, unsigned char** o, int* on) { return JPGFILE_DrawLine(d, n, 3, 2, o, on); }

int runJpeg(JpegCall call, QByteArray data, QByteArray* out)
{
    unsigned char* bytes = nullptr;
    int length = 0;
    const int result = call(reinterpret_cast<unsigned char*>(data.data()), data.size(), &bytes, &length);
    *out = bytes ? QByteArray(reinterpret_cast<const char*>(bytes), length) : QByteArray();
    std::free(bytes);
    return result;
}

} // namespace

class ImageProcContract : public QObject {
    Q_OBJECT

private slots:
    void jpegFunctions_failWithNullOutput_onBadData_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("length");  // -2: the data's own size
        const QByteArray good = toJpeg(pageScene(64, 48, QPolygonF()));
        QTest::newRow("null data") << QByteArray() << 100;
        QTest::newRow("zero length") << good << 0;
        QTest::newRow("not a JPEG") << QByteArray("hello, this is not a picture at all") << -2;
        QTest::newRow("truncated") << good.left(good.size() / 2) << -2;
        QTest::newRow("16000x16000 header") << jpegClaiming(16000, 16000) << -2;
        QTest::newRow("1x1 picture") << toJpeg(QImage(1, 1, QImage::Format_RGB888)) << -2;
        QTest::newRow("null output pointers") << good << -3;
    }

    void jpegFunctions_failWithNullOutput_onBadData()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, length);
        unsigned char* bytes = data.isNull() ? nullptr : reinterpret_cast<unsigned char*>(data.data());
        for (JpegCall call : {JpegCall(drawLine3), JpegCall(JPGFILE_Rotate)}) {
            if (length == -3) {
                unsigned char* out = nullptr;
                int outLength = 0;
                QVERIFY(call(bytes, data.size(), nullptr, &outLength) < 0);
                QVERIFY(call(bytes, data.size(), &out, nullptr) < 0);
                QVERIFY(out == nullptr);
                continue;
            }
            unsigned char* out = reinterpret_cast<unsigned char*>(0x1);
            int outLength = 7;
            QVERIFY(call(bytes, length == -2 ? data.size() : length, &out, &outLength) < 0);
            QVERIFY(out == nullptr);
            QCOMPARE(outLength, 0);
        }
    }

    void rawFunctions_fail_onBadSizes_data()
    {
        QTest::addColumn<bool>("nullPixels");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("stride");
        QTest::addColumn<int>("height");
        QTest::newRow("null pixels") << true << 64 << 192 << 48;
        QTest::newRow("zero width") << false << 0 << 192 << 48;
        QTest::newRow("stride below 3 x width") << false << 64 << 191 << 48;
        QTest::newRow("1x1") << false << 1 << 3 << 1;
        QTest::newRow("width beyond 16384") << false << 20000 << 60000 << 20;
        QTest::newRow("16000x16000") << false << 16000 << 48000 << 16000;
    }

    void rawFunctions_fail_onBadSizes()
    {
        QFETCH(bool, nullPixels);
        QFETCH(int, width);
        QFETCH(int, stride);
        QFETCH(int, height);
        // Only 64 x 48 pixels exist: a size check done after reading shows up
        // under the address sanitizer.
        std::vector<unsigned char> pixels(64 * 3 * 48, 40);
        unsigned char* rgb = nullPixels ? nullptr : pixels.data();
        QVERIFY(RAW_DrawLine(rgb, width, stride, height, 1, 2) < 0);
        unsigned char* out = reinterpret_cast<unsigned char*>(0x1);
        int ow = 1, os = 1, oh = 1;
        QVERIFY(RAW_Crop(rgb, width, stride, height, &out, &ow, &os, &oh) < 0);
        QVERIFY(out == nullptr);
        float corners[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
        QCOMPARE(ImageProc_FindDocument(rgb, width, stride, height, corners), 0);
        QCOMPARE(corners[0], -1.0f);
    }

    void findDocument_returnsCornersClockwiseFromTopLeft_data()
    {
        QTest::addColumn<QPolygonF>("page");
        QTest::addColumn<double>("tolerance");
        QTest::newRow("upright") << QPolygonF({{80, 50}, {240, 50}, {240, 200}, {80, 200}}) << 1.5;
        QTest::newRow("turned") << QPolygonF({{110, 30}, {260, 80}, {215, 215}, {65, 165}}) << 1.5;
        // The top-right corner lies off the frame: it comes from the side lines.
        QTest::newRow("corner off frame") << QPolygonF({{120, 60}, {332, 75}, {310, 200}, {110, 185}}) << 3.0;
    }

    void findDocument_returnsCornersClockwiseFromTopLeft()
    {
        QFETCH(QPolygonF, page);
        QFETCH(double, tolerance);
        std::vector<unsigned char> rgb = rgbOf(pageScene(320, 240, page));
        float c[8] = {0};
        QCOMPARE(ImageProc_FindDocument(rgb.data(), 320, 960, 240, c), 1);
        for (int i = 0; i < 4; ++i)
            QVERIFY2(std::hypot(c[2 * i] - page[i].x(), c[2 * i + 1] - page[i].y()) <= tolerance,
                     qPrintable(QString("corner %1 at %2,%3").arg(i).arg(c[2 * i]).arg(c[2 * i + 1])));
    }

    void noPage_leavesPictureUnchanged()
    {
        // A brown desk with a patch too small to be a page.
        QImage desk(320, 240, QImage::Format_RGB888);
        desk.fill(QColor(90, 60, 40));
        QPainter(&desk).fillRect(20, 20, 30, 20, QColor(200, 200, 200));
        std::vector<unsigned char> rgb = rgbOf(desk);
        const std::vector<unsigned char> before = rgb;
        float corners[8] = {0};
        QCOMPARE(ImageProc_FindDocument(rgb.data(), 320, 960, 240, corners), 0);
        QCOMPARE(RAW_DrawLine(rgb.data(), 320, 960, 240, 1, 2), 0);
        QVERIFY(rgb == before);
        // The photo path returns an exact copy: the user's photo is never lost.
        desk.fill(QColor(30, 30, 30));
        const QByteArray data = toJpeg(desk);
        QByteArray copy;
        QCOMPARE(runJpeg(JPGFILE_Rotate, data, &copy), 0);
        QCOMPARE(copy, data);
    }

    void drawLine_drawsOnPageEdges()
    {
        std::vector<unsigned char> rgb = rgbOf(pageScene(320, 240, kPage));
        QCOMPARE(RAW_DrawLine(rgb.data(), 320, 960, 240, 1, 2), 1);
        // Colour 1 is green: the middle of each side turns green, the page's
        // centre and the desk's corner stay as they were.
        auto pixel = [&](int x, int y) { return rgb.data() + (y * 320 + x) * 3; };
        auto green = [&](int x, int y) {
            const unsigned char* c = pixel(x, y);
            return c[1] > 150 && c[0] < 100 && c[2] < 100;
        };
        for (QPoint p : {QPoint(160, 40), QPoint(260, 120), QPoint(160, 200), QPoint(60, 120)})
            QVERIFY2(green(p.x(), p.y()) || green(p.x() - 1, p.y() - 1) || green(p.x() + 1, p.y() + 1),
                     qPrintable(QString("at %1,%2").arg(p.x()).arg(p.y())));
        QCOMPARE(int(pixel(160, 120)[0]), 235);
        QCOMPARE(int(pixel(5, 5)[0]), 40);

        // The JPEG preview: a decodable frame of the same size; colour 3 is
        // blue, on the top side.
        QByteArray out;
        QCOMPARE(runJpeg(drawLine3, toJpeg(pageScene(320, 240, kPage)), &out), 1);
        const QImage result = QImage::fromData(out);
        QCOMPARE(result.size(), QSize(320, 240));
        const QRgb c = result.pixel(160, 40);
        QVERIFY(qBlue(c) > 150 && qRed(c) < 110);
    }

    void jpgRotate_returnsPageInItsProportions()
    {
        // A 2:1 page seen head-on, turned by about 17 degrees.
        const QPolygonF page({{200, 100}, {583, 217}, {524, 408}, {141, 291}});
        QByteArray out;
        QCOMPARE(runJpeg(JPGFILE_Rotate, toJpeg(pageScene(720, 520, page), 95), &out), 1);
        const QImage result = QImage::fromData(out).convertToFormat(QImage::Format_Grayscale8);
        QVERIFY(!result.isNull());
        QVERIFY2(std::abs(double(result.width()) / result.height() - 2.0) < 0.04,
                 qPrintable(QString("%1x%2").arg(result.width()).arg(result.height())));
        // Cropped to the page: paper to the very border, no desk.
        for (QPoint p : {QPoint(3, 3), QPoint(result.width() - 4, result.height() - 4),
                         QPoint(result.width() / 2, result.height() / 2)})
            QVERIFY(qGray(result.pixel(p)) > 200);
    }

    void rawCrop_returnsPackedPage()
    {
        const QPolygonF page({{60, 40}, {260, 40}, {260, 140}, {60, 140}});
        std::vector<unsigned char> rgb = rgbOf(pageScene(320, 240, page));
        unsigned char* out = nullptr;
        int w = 0, stride = 0, h = 0;
        QCOMPARE(RAW_Crop(rgb.data(), 320, 960, 240, &out, &w, &stride, &h), 1);
        QVERIFY(out != nullptr);
        const int centre = out[(h / 2 * w + w / 2) * 3];
        std::free(out);
        QCOMPARE(stride, 3 * w);
        QVERIFY(std::abs(w - 200) <= 2 && std::abs(h - 100) <= 2);
        QVERIFY(centre > 220);
    }

    void rawDrawLine_staysCorrect_whenCalledFromTwoThreads()
    {
        // A call from outside the capture thread must not corrupt the outline
        // history (run under the thread sanitizer too).
        const std::vector<unsigned char> frame = rgbOf(pageScene(320, 240, kPage));
        int drawn[2] = {0, 0};
        auto work = [&](int who) {
            for (int i = 0; i < 15; ++i) {
                std::vector<unsigned char> copy = frame;
                drawn[who] += RAW_DrawLine(copy.data(), 320, 960, 240, 1, 2) == 1 ? 1 : 0;
            }
        };
        std::thread other(work, 1);
        work(0);
        other.join();
        QCOMPARE(drawn[0], 15);
        QCOMPARE(drawn[1], 15);
    }
};

QTEST_GUILESS_MAIN(ImageProcContract)
#include "tst_imageproc_contract.moc"
