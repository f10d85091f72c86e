#include "camera_testing.h"
#include "test_jpeg.h"

#include <QtTest>

#include <cstdlib>

namespace {

enum class Expect { Unchanged, SameAsOriginal, TablesAdded, Dropped };

QByteArray repaired(const QByteArray& in, bool* dropped)
{
    unsigned long outLen = 0;
    unsigned char* out = TavikCam_RepairJpeg(reinterpret_cast<const unsigned char*>(in.constData()),
                                             static_cast<unsigned long>(in.size()), &outLen);
    *dropped = out == nullptr;
    QByteArray bytes(reinterpret_cast<const char*>(out), static_cast<int>(outLen));
    std::free(out);
    return bytes;
}

QByteArray withSegmentLength(QByteArray jpeg, int length)
{
    jpeg[4] = static_cast<char>(length >> 8);
    jpeg[5] = static_cast<char>(length & 0xFF);
    return jpeg;
}

} // namespace

Q_DECLARE_METATYPE(Expect)

class JpegRepairTest : public QObject {
    Q_OBJECT

private slots:
    void repair_data()
    {
        const QByteArray jpeg = quadrantJpeg();
        const QByteArray bare = withoutHuffmanTables(jpeg);
        const int sos = jpeg.indexOf(QByteArray("\xFF\xDA", 2));
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<Expect>("expect");
        QTest::newRow("whole image passes unchanged") << jpeg << Expect::Unchanged;
        QTest::newRow("zero padding after EOI is cut") << jpeg + QByteArray(300, '\0') << Expect::SameAsOriginal;
        QTest::newRow("missing Huffman tables are inserted") << bare << Expect::TablesAdded;
        QTest::newRow("no SOI is dropped") << jpeg.mid(2) << Expect::Dropped;
        QTest::newRow("no EOI is dropped") << jpeg.left(jpeg.size() - 2) << Expect::Dropped;
        QTest::newRow("cut in the scan is dropped") << jpeg.left(sos + 20) << Expect::Dropped;
        QTest::newRow("header cut before SOS is dropped") << jpeg.left(sos) + QByteArray("\xFF\xD9", 2) << Expect::Dropped;
        QTest::newRow("segment length past the end is dropped") << withSegmentLength(jpeg, 0xFFF0) << Expect::Dropped;
        QTest::newRow("segment length below 2 is dropped") << withSegmentLength(jpeg, 1) << Expect::Dropped;
        QTest::newRow("SOI alone is dropped") << QByteArray("\xFF\xD8", 2) << Expect::Dropped;
        QTest::newRow("empty is dropped") << QByteArray() << Expect::Dropped;
    }

    void repair()
    {
        QFETCH(QByteArray, input);
        QFETCH(Expect, expect);
        const QByteArray original = quadrantJpeg();
        bool dropped = false;
        const QByteArray out = repaired(input, &dropped);
        QCOMPARE(dropped, expect == Expect::Dropped);
        switch (expect) {
        case Expect::Unchanged:
            QCOMPARE(out, input);
            break;
        case Expect::SameAsOriginal:
            QCOMPARE(out, original);
            break;
        case Expect::TablesAdded: {
            QCOMPARE(out.count(QByteArray("\xFF\xC4", 2)), 1);
            QVERIFY(out.indexOf(QByteArray("\xFF\xC4", 2)) < out.indexOf(QByteArray("\xFF\xDA", 2)));
            QVERIFY(out.endsWith(QByteArray("\xFF\xD9", 2)));
            const QImage decoded = decodeStrictly(out);
            QVERIFY(!decoded.isNull());
            QCOMPARE(decoded, decodeStrictly(original));
            break;
        }
        case Expect::Dropped:
            QVERIFY(out.isEmpty());
            break;
        }
    }
};

QTEST_APPLESS_MAIN(JpegRepairTest)
#include "tst_jpeg_repair.moc"
