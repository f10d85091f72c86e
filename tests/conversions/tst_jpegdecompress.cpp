#include "compress.h"

#include <QBuffer>
#include <QImage>
#include <QTest>
#include <QVector>

namespace {

const unsigned char kGuardByte = 0xA5;
const int kGuardSize = 64;

// Left half red, right half blue: decoding must keep R G B order.
QImage redBlueImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(QColor(220, 20, 20));
    for (int y = 0; y < height; ++y)
        for (int x = width / 2; x < width; ++x)
            image.setPixelColor(x, y, QColor(20, 20, 220));
    return image;
}

QByteArray encodeJpeg(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 95);
    return bytes;
}

// Offset of the first segment with this marker before the scan, or -1.
int segmentOffset(const QByteArray& jpeg, unsigned char marker)
{
    int pos = 2;
    while (pos + 4 <= jpeg.size() && uchar(jpeg[pos]) == 0xFF) {
        const uchar here = uchar(jpeg[pos + 1]);
        if (here == marker)
            return pos;
        if (here == 0xDA)
            return -1;
        pos += 2 + (uchar(jpeg[pos + 2]) << 8 | uchar(jpeg[pos + 3]));
    }
    return -1;
}

struct Decoded {
    int result = 0;
    int width = -1;
    int height = -1;
    QVector<unsigned char> pixels; // outbufLen bytes, then the guard
};

Decoded decode(QByteArray jpeg, int scale, int outbufLen)
{
    Decoded d;
    d.pixels.fill(kGuardByte, outbufLen + kGuardSize);
    d.result = jpeg_decompress(reinterpret_cast<unsigned char*>(jpeg.data()), jpeg.size(), scale,
                               d.pixels.data(), &d.width, &d.height, outbufLen);
    return d;
}

bool guardIntact(const Decoded& d, int outbufLen)
{
    for (int i = outbufLen; i < d.pixels.size(); ++i)
        if (d.pixels[i] != kGuardByte)
            return false;
    return true;
}

} // namespace

class TestJpegDecompress : public QObject
{
    Q_OBJECT

private slots:
    void decode_scalesColourImage_data();
    void decode_scalesColourImage();
    void decode_failsWithoutOverrun_whenBufferIsOneByteShort();
    void decode_rejectsBadInput_data();
    void decode_rejectsBadInput();
    void decode_survivesTruncatedData_data();
    void decode_survivesTruncatedData();
    void decode_expandsGreyScaleToThreeEqualBytes();
};

void TestJpegDecompress::decode_scalesColourImage_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("scale");
    QTest::addColumn<int>("outWidth");
    QTest::addColumn<int>("outHeight");
    QTest::addColumn<int>("outbufLen");
    QTest::newRow("full HD at a quarter, frame-sized buffer") << 1920 << 1080 << 4 << 480 << 270 << 1920 * 1080 * 3;
    QTest::newRow("exact-size buffer") << 64 << 48 << 4 << 16 << 12 << 16 * 12 * 3;
    QTest::newRow("scale 1") << 40 << 24 << 1 << 40 << 24 << 40 * 24 * 3;
    QTest::newRow("rounds up") << 100 << 50 << 8 << 13 << 7 << 13 * 7 * 3;
}

void TestJpegDecompress::decode_scalesColourImage()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, scale);
    QFETCH(int, outWidth);
    QFETCH(int, outHeight);
    QFETCH(int, outbufLen);
    const Decoded d = decode(encodeJpeg(redBlueImage(width, height)), scale, outbufLen);
    QCOMPARE(d.result, 0);
    QCOMPARE(d.width, outWidth);
    QCOMPARE(d.height, outHeight);
    QVERIFY(guardIntact(d, outbufLen));
    const int row = (outHeight / 2) * outWidth * 3;
    const unsigned char* left = d.pixels.constData() + row + 3;
    const unsigned char* right = d.pixels.constData() + row + (outWidth - 2) * 3;
    QVERIFY2(left[0] > 180 && left[1] < 60 && left[2] < 60, "left edge is not red");
    QVERIFY2(right[0] < 60 && right[1] < 60 && right[2] > 180, "right edge is not blue");
}

void TestJpegDecompress::decode_failsWithoutOverrun_whenBufferIsOneByteShort()
{
    const int outbufLen = 16 * 12 * 3 - 1;
    const Decoded d = decode(encodeJpeg(redBlueImage(64, 48)), 4, outbufLen);
    QCOMPARE(d.result, -1);
    QVERIFY(guardIntact(d, outbufLen));
}

void TestJpegDecompress::decode_rejectsBadInput_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("scale");
    const QByteArray jpeg = encodeJpeg(redBlueImage(16, 16));
    QTest::newRow("not a JPEG") << QByteArray("GIF89a, surely not a JPEG image at all") << 4;
    QTest::newRow("start marker only") << QByteArray("\xFF\xD8", 2) << 4;
    QTest::newRow("empty") << QByteArray() << 4;
    QTest::newRow("scale 0") << jpeg << 0;
}

void TestJpegDecompress::decode_rejectsBadInput()
{
    QFETCH(QByteArray, data);
    QFETCH(int, scale);
    const Decoded d = decode(data, scale, 16 * 16 * 3);
    QCOMPARE(d.result, -1);
    QVERIFY(guardIntact(d, 16 * 16 * 3));
}

// libjpeg pads a frame cut inside the scan and goes on; a frame cut in its
// headers cannot be decoded at all.
void TestJpegDecompress::decode_survivesTruncatedData_data()
{
    QTest::addColumn<bool>("inHeaders");
    QTest::addColumn<double>("keep");
    QTest::newRow("cut in the headers") << true << 0.0;
    QTest::newRow("cut early in the scan") << false << 0.1;
    QTest::newRow("cut late in the scan") << false << 0.9;
}

void TestJpegDecompress::decode_survivesTruncatedData()
{
    QFETCH(bool, inHeaders);
    QFETCH(double, keep);
    const QByteArray jpeg = encodeJpeg(redBlueImage(256, 128));
    const int scanStart = segmentOffset(jpeg, 0xDA);
    QVERIFY(scanStart > 0);
    const int cut = inHeaders ? scanStart / 2 : scanStart + int((jpeg.size() - scanStart) * keep);
    const int outbufLen = 64 * 32 * 3;
    const Decoded d = decode(jpeg.left(cut), 4, outbufLen);
    QCOMPARE(d.result, inHeaders ? -1 : 0);
    if (!inHeaders)
        QCOMPARE(QSize(d.width, d.height), QSize(64, 32));
    QVERIFY(guardIntact(d, outbufLen));
}

void TestJpegDecompress::decode_expandsGreyScaleToThreeEqualBytes()
{
    QImage grey(16, 8, QImage::Format_Grayscale8);
    grey.fill(50);
    for (int y = 0; y < 8; ++y)
        std::fill_n(grey.scanLine(y) + 8, 8, uchar(200));
    const QByteArray jpeg = encodeJpeg(grey);
    const int sof = segmentOffset(jpeg, 0xC0);
    QVERIFY(sof > 0);
    QCOMPARE(int(uchar(jpeg[sof + 9])), 1); // one component: really a grey-scale file

    const Decoded d = decode(jpeg, 1, 16 * 8 * 3);
    QCOMPARE(d.result, 0);
    QCOMPARE(QSize(d.width, d.height), QSize(16, 8));
    for (int i = 0; i < 16 * 8; ++i) {
        const unsigned char* p = d.pixels.constData() + i * 3;
        QCOMPARE(p[1], p[0]);
        QCOMPARE(p[2], p[0]);
        QVERIFY(qAbs(p[0] - (i % 16 < 8 ? 50 : 200)) <= 8);
    }
}

QTEST_GUILESS_MAIN(TestJpegDecompress)
#include "tst_jpegdecompress.moc"
