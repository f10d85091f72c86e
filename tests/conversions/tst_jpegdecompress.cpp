#include "camera_testing.h"
#include "compress.h"

#include <QBuffer>
#include <QImage>
#include <QTest>
#include <QVector>

#include <cstdlib>

namespace {

QByteArray encoded(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 95);
    return bytes;
}

QByteArray redBlueJpeg(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(QColor(220, 20, 20));
    for (int y = 0; y < height; ++y)
        for (int x = width / 2; x < width; ++x)
            image.setPixelColor(x, y, QColor(20, 20, 220));
    return encoded(image);
}

int segmentOffset(const QByteArray& jpeg, unsigned char marker)
{
    for (int pos = 2; pos + 4 <= jpeg.size() && uchar(jpeg[pos]) == 0xFF;
         pos += 2 + (uchar(jpeg[pos + 2]) << 8 | uchar(jpeg[pos + 3]))) {
        if (uchar(jpeg[pos + 1]) == marker)
            return pos;
        if (uchar(jpeg[pos + 1]) == 0xDA)
            break;
    }
    return -1;
}

struct Decoded {
    int result = 0;
    QSize size;
    QVector<unsigned char> pixels;
    bool guardIntact = true; // nothing written in the 64 bytes after outbufLen

    bool redLeftBlueRight(int row) const
    {
        const unsigned char* left = pixels.constData() + (row * size.width() + 1) * 3;
        const unsigned char* right = pixels.constData() + ((row + 1) * size.width() - 2) * 3;
        return left[0] > 180 && left[1] < 60 && left[2] < 60 && right[0] < 60 && right[1] < 60 && right[2] > 180;
    }
};

Decoded decode(QByteArray jpeg, int scale, int outbufLen)
{
    Decoded d;
    d.pixels.fill(0xA5, outbufLen + 64);
    int width = -1, height = -1;
    d.result = jpeg_decompress(reinterpret_cast<unsigned char*>(jpeg.data()), jpeg.size(), scale, d.pixels.data(),
                               &width, &height, outbufLen);
    d.size = QSize(width, height);
    for (int i = outbufLen; i < d.pixels.size(); ++i)
        d.guardIntact = d.guardIntact && d.pixels[i] == 0xA5;
    return d;
}

} // namespace

class TestJpegDecompress : public QObject
{
    Q_OBJECT

private slots:
    void decode_fitsTheBufferOrFails_data()
    {
        QTest::addColumn<QByteArray>("jpeg");
        QTest::addColumn<int>("scale");
        QTest::addColumn<int>("outbufLen");
        QTest::addColumn<int>("result");
        QTest::addColumn<QSize>("decoded");   // invalid: not checked
        const QByteArray small = redBlueJpeg(64, 48), tiny = redBlueJpeg(16, 16), wide = redBlueJpeg(256, 128);
        const int scan = segmentOffset(wide, 0xDA);
        QVERIFY(scan > 0);
        QTest::newRow("full HD at a quarter, frame-sized buffer")
            << redBlueJpeg(1920, 1080) << 4 << 1920 * 1080 * 3 << 0 << QSize(480, 270);
        QTest::newRow("exact-size buffer") << small << 4 << 16 * 12 * 3 << 0 << QSize(16, 12);
        QTest::newRow("one byte short") << small << 4 << 16 * 12 * 3 - 1 << -1 << QSize(16, 12);
        QTest::newRow("size rounds up") << redBlueJpeg(100, 50) << 8 << 13 * 7 * 3 << 0 << QSize(13, 7);
        QTest::newRow("cut inside the scan") << wide.left(scan + (wide.size() - scan) * 3 / 4) << 4 << 64 * 32 * 3 << 0
                                             << QSize(64, 32);
        QTest::newRow("not a JPEG") << QByteArray("GIF89a, surely not a JPEG image at all") << 4 << 768 << -1 << QSize();
        QTest::newRow("cut in the headers") << tiny.left(segmentOffset(tiny, 0xDA) / 2) << 4 << 768 << -1 << QSize();
        QTest::newRow("empty") << QByteArray() << 4 << 768 << -1 << QSize();
        QTest::newRow("scale 0") << tiny << 0 << 768 << -1 << QSize();
    }

    void decode_fitsTheBufferOrFails()
    {
        QFETCH(QByteArray, jpeg);
        QFETCH(int, scale);
        QFETCH(int, outbufLen);
        QFETCH(int, result);
        QFETCH(QSize, decoded);
        const Decoded d = decode(jpeg, scale, outbufLen);
        QCOMPARE(d.result, result);
        if (decoded.isValid())
            QCOMPARE(d.size, decoded);
        QVERIFY(d.guardIntact);
        if (result == 0)
            QVERIFY(d.redLeftBlueRight(2));
    }

    void decode_expandsGreyScaleToThreeEqualBytes()
    {
        QImage grey(16, 8, QImage::Format_Grayscale8);
        grey.fill(50);
        for (int y = 0; y < 8; ++y)
            std::fill_n(grey.scanLine(y) + 8, 8, uchar(200));
        const QByteArray jpeg = encoded(grey);

        const Decoded d = decode(jpeg, 1, 16 * 8 * 3);
        QCOMPARE(d.result, 0);
        QCOMPARE(d.size, QSize(16, 8));
        for (int i = 0; i < 16 * 8; ++i) {
            const unsigned char* p = d.pixels.constData() + i * 3;
            QCOMPARE(p[1], p[0]);
            QCOMPARE(p[2], p[0]);
            QVERIFY(qAbs(p[0] - (i % 16 < 8 ? 50 : 200)) <= 8);
        }
    }

    void decode_readsMjpegFrameWithoutHuffmanTables_asDeliveredByCaptureLibrary()
    {
        QByteArray camera = redBlueJpeg(64, 48);
        for (int at = segmentOffset(camera, 0xC4); at > 0; at = segmentOffset(camera, 0xC4))
            camera.remove(at, 2 + (uchar(camera[at + 2]) << 8 | uchar(camera[at + 3])));
        QVERIFY(segmentOffset(camera, 0xDA) > 0);
        QCOMPARE(segmentOffset(camera, 0xC4), -1); // libjpeg would fill in tables unasked

        unsigned long length = 0;
        unsigned char* repaired =
            TavikCam_RepairJpeg(reinterpret_cast<const unsigned char*>(camera.constData()), camera.size(), &length);
        QVERIFY(repaired);
        const QByteArray delivered(reinterpret_cast<const char*>(repaired), static_cast<int>(length));
        std::free(repaired);
        QVERIFY(segmentOffset(delivered, 0xC4) > 0); // decoded with the tables put back, not libjpeg's own

        const Decoded d = decode(delivered, 1, 64 * 48 * 3);
        QCOMPARE(d.result, 0);
        QCOMPARE(d.size, QSize(64, 48));
        QVERIFY(d.redLeftBlueRight(24));
    }
};

QTEST_GUILESS_MAIN(TestJpegDecompress)
#include "tst_jpegdecompress.moc"
