
#include "customInterface/parameter.h"

#include <QRandomGenerator>
#include <QTest>
#include <QVector>

namespace {
int rgbAt(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16; }
} // namespace

class TestYuyvConversion : public QObject
{
    Q_OBJECT

private slots:
    void pixel_givesScaledClampedRgb_data()
    {
        QTest::addColumn<QVector<int>>("yuv");
        QTest::addColumn<QVector<int>>("rgb");
        QTest::newRow("white tops out at 219") << QVector<int>{255, 128, 128} << QVector<int>{219, 219, 219};
        QTest::newRow("black") << QVector<int>{0, 128, 128} << QVector<int>{0, 0, 0};
        QTest::newRow("reddish") << QVector<int>{100, 128, 200} << QVector<int>{170, 42, 85};
        QTest::newRow("clamps before scaling") << QVector<int>{255, 255, 255} << QVector<int>{219, 105, 219};
    }

    void pixel_givesScaledClampedRgb()
    {
        QFETCH(QVector<int>, yuv);
        QFETCH(QVector<int>, rgb);
        QCOMPARE(convert_yuv_to_rgb_pixel(yuv[0], yuv[1], yuv[2]), rgb[0] | rgb[1] << 8 | rgb[2] << 16);
    }

    // All 2^24 triples, a buffer per u: groups (2k, u, 2k+1, v) show each y
    // once as Y0 or Y1 for every v.
    void buffer_matchesPixelFormula_forEveryYuvTriple()
    {
        const int pixels = 256 * 256;
        QVector<unsigned char> yuv(pixels * 2), rgb(pixels * 3);
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
                        QFAIL(qPrintable(QStringLiteral("y %1 u %2 v %3: got %4, formula %5").arg(y).arg(u).arg(v)
                                             .arg(rgbAt(out), 6, 16).arg(convert_yuv_to_rgb_pixel(y, u, v), 6, 16)));
        }
    }

    // Pixel counts around the vector step (8 pairs) and its two-pair tail; the
    // guard after the output must stay untouched, as must an odd last pixel.
    void buffer_convertsOnlyWholePixelPairs_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        for (int width : {2, 4, 14, 16, 18, 20, 22, 34, 36, 38})
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
        QRandomGenerator random(pixels);
        for (unsigned char& byte : yuv)
            byte = uchar(random.bounded(256));
        QVector<unsigned char> rgb(pixels * 3 + 64, 0xA5);
        QCOMPARE(convert_yuv_to_rgb_buffer(yuv.data(), rgb.data(), width, height), 0);
        for (int i = 0; i < converted; ++i) {
            const unsigned char* group = yuv.constData() + i / 2 * 4;
            QCOMPARE(rgbAt(rgb.constData() + i * 3), convert_yuv_to_rgb_pixel(group[i % 2 * 2], group[1], group[3]));
        }
        for (int i = converted * 3; i < rgb.size(); ++i)
            QCOMPARE(int(rgb[i]), 0xA5);
    }

    void buffer_rejectsNullBuffers()
    {
        unsigned char yuv[4] = {128, 128, 128, 128}, rgb[6] = {};
        QCOMPARE(convert_yuv_to_rgb_buffer(nullptr, rgb, 2, 1), -1);
        QCOMPARE(convert_yuv_to_rgb_buffer(yuv, nullptr, 2, 1), -1);
    }
};

QTEST_APPLESS_MAIN(TestYuyvConversion)
#include "tst_yuyvconversion.moc"
