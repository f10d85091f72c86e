#include "customInterface/parameter.h"

#include <QRandomGenerator>
#include <QTest>
#include <QVector>

class TestYuyvConversion : public QObject
{
    Q_OBJECT

private slots:
    void pixel_givesScaledClampedRgb_data();
    void pixel_givesScaledClampedRgb();
    void buffer_matchesPixelFormula_forEveryYuvTriple();
    void buffer_turnsMidGreyFrameInto110Everywhere();
    void buffer_convertsOnlyWholePixelPairs_data();
    void buffer_convertsOnlyWholePixelPairs();
    void buffer_rejectsNullBuffers();
};

void TestYuyvConversion::pixel_givesScaledClampedRgb_data()
{
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("u");
    QTest::addColumn<int>("v");
    QTest::addColumn<int>("r");
    QTest::addColumn<int>("g");
    QTest::addColumn<int>("b");
    QTest::newRow("mid grey") << 128 << 128 << 128 << 110 << 110 << 110;
    QTest::newRow("white tops out at 219") << 255 << 128 << 128 << 219 << 219 << 219;
    QTest::newRow("black") << 0 << 128 << 128 << 0 << 0 << 0;
    QTest::newRow("reddish") << 100 << 128 << 200 << 170 << 42 << 85;
    QTest::newRow("strong red") << 81 << 90 << 240 << 201 << 12 << 12;
    QTest::newRow("clamps before scaling") << 255 << 255 << 255 << 219 << 105 << 219;
}

void TestYuyvConversion::pixel_givesScaledClampedRgb()
{
    QFETCH(int, y);
    QFETCH(int, u);
    QFETCH(int, v);
    QFETCH(int, r);
    QFETCH(int, g);
    QFETCH(int, b);
    QCOMPARE(convert_yuv_to_rgb_pixel(y, u, v), r | g << 8 | b << 16);
}

// All 2^24 triples, a row per u: every group is (2k, u, 2k+1, v), so each
// y is seen once as Y0 and once as Y1 across the 128 groups of one v.
void TestYuyvConversion::buffer_matchesPixelFormula_forEveryYuvTriple()
{
    const int pixels = 256 * 256; // per u: 256 v times 256 y
    QVector<unsigned char> yuv(pixels * 2);
    QVector<unsigned char> rgb(pixels * 3);
    for (int u = 0; u < 256; ++u) {
        unsigned char* in = yuv.data();
        for (int v = 0; v < 256; ++v) {
            for (int y = 0; y < 256; y += 2, in += 4) {
                in[0] = static_cast<unsigned char>(y);
                in[1] = static_cast<unsigned char>(u);
                in[2] = static_cast<unsigned char>(y + 1);
                in[3] = static_cast<unsigned char>(v);
            }
        }
        QCOMPARE(convert_yuv_to_rgb_buffer(yuv.data(), rgb.data(), pixels, 1), 0);
        const unsigned char* out = rgb.constData();
        for (int v = 0; v < 256; ++v) {
            for (int y = 0; y < 256; ++y, out += 3) {
                const int expected = convert_yuv_to_rgb_pixel(y, u, v);
                const int got = out[0] | out[1] << 8 | out[2] << 16;
                if (got != expected)
                    QFAIL(qPrintable(QStringLiteral("y %1 u %2 v %3: got %4, formula %5")
                                         .arg(y).arg(u).arg(v).arg(got, 6, 16).arg(expected, 6, 16)));
            }
        }
    }
}

void TestYuyvConversion::buffer_turnsMidGreyFrameInto110Everywhere()
{
    const int width = 640, height = 480;
    QVector<unsigned char> yuv(width * height * 2, 128);
    QVector<unsigned char> rgb(width * height * 3, 0);
    QCOMPARE(convert_yuv_to_rgb_buffer(yuv.data(), rgb.data(), width, height), 0);
    QCOMPARE(rgb.count(110), rgb.size());
}

// Pixel counts around the vector step (8 pairs) and its two-pair tail; the
// guard after the output must stay untouched, as must an odd last pixel.
void TestYuyvConversion::buffer_convertsOnlyWholePixelPairs_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    for (int width : {2, 4, 14, 16, 18, 20, 22, 34, 36, 38, 640})
        QTest::addRow("%dx1", width) << width << 1;
    QTest::newRow("odd pixel count 3x3") << 3 << 3;
    QTest::newRow("odd pixel count 21x1") << 21 << 1;
    QTest::newRow("1920x4") << 1920 << 4;
}

void TestYuyvConversion::buffer_convertsOnlyWholePixelPairs()
{
    QFETCH(int, width);
    QFETCH(int, height);
    const int pixels = width * height;
    const int converted = pixels / 2 * 2;
    const int guard = 64;
    QVector<unsigned char> yuv(pixels * 2);
    QRandomGenerator random(pixels);
    for (unsigned char& byte : yuv)
        byte = static_cast<unsigned char>(random.bounded(256));
    QVector<unsigned char> rgb(pixels * 3 + guard, 0xA5);

    QCOMPARE(convert_yuv_to_rgb_buffer(yuv.data(), rgb.data(), width, height), 0);

    for (int i = 0; i < converted; ++i) {
        const unsigned char* group = yuv.constData() + i / 2 * 4;
        const int expected = convert_yuv_to_rgb_pixel(group[i % 2 * 2], group[1], group[3]);
        const unsigned char* out = rgb.constData() + i * 3;
        QCOMPARE(out[0] | out[1] << 8 | out[2] << 16, expected);
    }
    for (int i = converted * 3; i < rgb.size(); ++i)
        QCOMPARE(int(rgb[i]), 0xA5);
}

void TestYuyvConversion::buffer_rejectsNullBuffers()
{
    unsigned char yuv[4] = {128, 128, 128, 128};
    unsigned char rgb[6] = {};
    QCOMPARE(convert_yuv_to_rgb_buffer(nullptr, rgb, 2, 1), -1);
    QCOMPARE(convert_yuv_to_rgb_buffer(yuv, nullptr, 2, 1), -1);
}

QTEST_APPLESS_MAIN(TestYuyvConversion)
#include "tst_yuyvconversion.moc"
