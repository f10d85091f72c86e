// Camera frames into packed RGB for the preview: YUYV through the table
// conversion, JPEG through jpeg_decompress().
#include "camera_testing.h"
#include "compress.h"
#include "customInterface/parameter.h"

#include <QBuffer>
#include <QImage>
#include <QTest>
#include <QVector>

#include <algorithm>
#include <cstdlib>

namespace {

int rgbAt(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16; }

QByteArray encoded(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 95);
    return bytes;
}

// Left half red (220, 20, 20), right half blue (20, 20, 220).
QByteArray redBlueJpeg(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixelColor(x, y, x < width / 2 ? QColor(220, 20, 20) : QColor(20, 20, 220));
    return encoded(image);
}

// An MJPEG camera's frame (no DHT segment) after the capture library's repair.
QByteArray repairedCameraFrame(QByteArray jpeg)
{
    for (int at; (at = jpeg.indexOf("\xFF\xC4")) > 0;)
        jpeg.remove(at, 2 + (uchar(jpeg[at + 2]) << 8 | uchar(jpeg[at + 3])));
    unsigned long length = 0;
    unsigned char* out = TavikCam_RepairJpeg(reinterpret_cast<const unsigned char*>(jpeg.constData()), jpeg.size(), &length);
    const QByteArray repaired(reinterpret_cast<const char*>(out), out ? int(length) : 0);
    std::free(out);
    return repaired;
}

} // namespace

class TestConversions : public QObject
{
    Q_OBJECT

private slots:
    // ---- YUYV

    void pixel_givesScaledClampedRgb()
    {
        QCOMPARE(convert_yuv_to_rgb_pixel(0, 128, 128), 0);
        QCOMPARE(convert_yuv_to_rgb_pixel(100, 128, 200), 170 | 42 << 8 | 85 << 16);
        QCOMPARE(convert_yuv_to_rgb_pixel(255, 255, 255), 219 | 105 << 8 | 219 << 16);   // clamped first, 219 at most
    }

    // All 2^24 triples, a buffer per u: groups (2k, u, 2k+1, v) show each y
    // once as Y0 or Y1 for every v. Null buffers are refused.
    void buffer_matchesPixelFormula_forEveryYuvTriple()
    {
        const int pixels = 256 * 256;
        QVector<unsigned char> yuv(pixels * 2), rgb(pixels * 3);
        QCOMPARE(convert_yuv_to_rgb_buffer(nullptr, rgb.data(), 2, 1), -1);
        QCOMPARE(convert_yuv_to_rgb_buffer(yuv.data(), nullptr, 2, 1), -1);
        for (int u = 0; u < 256; ++u) {
            unsigned char* in = yuv.data();
            for (int v = 0; v < 256; ++v)
                for (int y = 0; y < 256; y += 2, in += 4) {
                    in[0] = uchar(y), in[1] = uchar(u), in[2] = uchar(y + 1), in[3] = uchar(v);
                }
            QCOMPARE(convert_yuv_to_rgb_buffer(yuv.data(), rgb.data(), pixels, 1), 0);
            const unsigned char* out = rgb.constData();
            for (int v = 0; v < 256; ++v)
                for (int y = 0; y < 256; ++y, out += 3)
                    if (rgbAt(out) != convert_yuv_to_rgb_pixel(y, u, v))
                        QFAIL(qPrintable(QStringLiteral("y %1 u %2 v %3").arg(y).arg(u).arg(v)));
        }
    }

    // Pixel counts around the vector step (8 pairs, taken while 10 are left);
    // the guard after the output must stay untouched, as must an odd last pixel.
    void buffer_convertsOnlyWholePixelPairs_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        for (int width : {2, 18, 20, 22, 36})
            QTest::addRow("%dx1", width) << width << 1;
        QTest::newRow("odd pixel count 3x3") << 3 << 3;
        QTest::newRow("1920x4") << 1920 << 4;
    }

    void buffer_convertsOnlyWholePixelPairs()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        const int pixels = width * height, converted = pixels / 2 * 2;
        QVector<unsigned char> yuv(pixels * 2);
        for (int i = 0; i < yuv.size(); ++i)
            yuv[i] = uchar(i * 37 + 11);
        QVector<unsigned char> rgb(pixels * 3 + 64, 0xA5);
        QCOMPARE(convert_yuv_to_rgb_buffer(yuv.data(), rgb.data(), width, height), 0);
        for (int i = 0; i < converted; ++i) {
            const unsigned char* group = yuv.constData() + i / 2 * 4;
            QCOMPARE(rgbAt(rgb.constData() + i * 3), convert_yuv_to_rgb_pixel(group[i % 2 * 2], group[1], group[3]));
        }
        for (int i = converted * 3; i < rgb.size(); ++i)
            QCOMPARE(int(rgb[i]), 0xA5);
    }

    // ---- JPEG

    void decode_fitsTheBufferOrFails_data()
    {
        QTest::addColumn<QByteArray>("jpeg");
        QTest::addColumn<int>("scale");
        QTest::addColumn<int>("outbufLen");
        QTest::addColumn<int>("result");
        QTest::addColumn<QSize>("decoded");   // invalid: not checked
        const QByteArray small = redBlueJpeg(64, 48), wide = redBlueJpeg(256, 128);
        const int scan = wide.indexOf("\xFF\xDA");
        const QByteArray mjpeg = repairedCameraFrame(small);
        QCOMPARE(mjpeg.count("\xFF\xC4"), 1);   // decoded with the tables put back, not libjpeg's own
        QTest::newRow("exact-size buffer") << small << 4 << 16 * 12 * 3 << 0 << QSize(16, 12);
        QTest::newRow("one byte short") << small << 4 << 16 * 12 * 3 - 1 << -1 << QSize(16, 12);
        QTest::newRow("size rounds up") << redBlueJpeg(100, 50) << 8 << 13 * 7 * 3 << 0 << QSize(13, 7);
        QTest::newRow("cut inside the scan") << wide.left(scan + (wide.size() - scan) * 3 / 4) << 4 << 64 * 32 * 3 << 0
                                             << QSize(64, 32);
        QTest::newRow("MJPEG frame without Huffman tables, as the capture library delivers it")
            << mjpeg << 1 << 64 * 48 * 3 << 0 << QSize(64, 48);
        QTest::newRow("not a JPEG") << QByteArray("GIF89a, surely not a JPEG image at all") << 4 << 768 << -1 << QSize();
        QTest::newRow("scale 0") << redBlueJpeg(16, 16) << 0 << 16 * 16 * 3 << -1 << QSize();
    }

    void decode_fitsTheBufferOrFails()
    {
        QFETCH(QByteArray, jpeg);
        QFETCH(int, scale);
        QFETCH(int, outbufLen);
        QFETCH(int, result);
        QFETCH(QSize, decoded);
        // Nothing may be written past outbufLen, nor at all into a buffer the picture cannot fit.
        QVector<unsigned char> out(outbufLen + 64, 0xA5);
        int width = -1, height = -1;
        QCOMPARE(jpeg_decompress(reinterpret_cast<uchar*>(jpeg.data()), jpeg.size(), scale, out.data(), &width, &height, outbufLen), result);
        if (decoded.isValid())
            QCOMPARE(QSize(width, height), decoded);
        QVERIFY(std::all_of(out.begin() + (result == 0 ? outbufLen : 0), out.end(), [](uchar b) { return b == 0xA5; }));
        if (result == 0) {   // row 2: red, then blue
            const unsigned char* left = out.constData() + (2 * width + 1) * 3;
            const unsigned char* right = out.constData() + (3 * width - 2) * 3;
            QVERIFY(left[0] > 180 && left[1] < 60 && left[2] < 60 && right[0] < 60 && right[1] < 60 && right[2] > 180);
        }
    }

    void decode_expandsGreyScaleToThreeEqualBytes()
    {
        QImage grey(16, 8, QImage::Format_Grayscale8);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x)
                grey.scanLine(y)[x] = x < 8 ? 50 : 200;
        QByteArray jpeg = encoded(grey);
        QVector<unsigned char> out(16 * 8 * 3);
        int width = -1, height = -1;
        QCOMPARE(jpeg_decompress(reinterpret_cast<uchar*>(jpeg.data()), jpeg.size(), 1, out.data(), &width, &height, out.size()), 0);
        QCOMPARE(QSize(width, height), QSize(16, 8));
        for (int i = 0; i < 16 * 8; ++i) {
            const unsigned char* p = out.constData() + i * 3;
            QVERIFY(p[1] == p[0] && p[2] == p[0] && qAbs(p[0] - (i % 16 < 8 ? 50 : 200)) <= 8);
        }
    }
};

QTEST_GUILESS_MAIN(TestConversions)
#include "tst_conversions.moc"
