// A failing save folder (one log line, no file): tests/faults/tst_savefolder.cpp.
#include "photofile.h"

#include <QDir>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList g_messages;

// 8 x 4: the top row black, below it columns R G B W R G B W.
QImage knownPicture()
{
    const QRgb columns[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};
    QImage picture(8, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            picture.setPixel(x, y, y == 0 ? qRgb(0, 0, 0) : columns[x % 4]);
    return picture;
}

} // namespace

class TestPhotoFile : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void fileName_followsPatternPerSuffix_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("picIndex");
        QTest::addColumn<int>("millisecond");
        QTest::addColumn<QString>("name");
        const QString tmp = QStringLiteral("/tmp/tavik_files");
        QTest::newRow("jpg, 5 ms") << tmp << 0 << 5 << tmp + "/2026-12-05_22:01:26.5.jpg";
        QTest::newRow("bmp, 70 ms") << tmp << 1 << 70 << tmp + "/2026-12-05_22:01:26.70.bmp";
        QTest::newRow("percent in folder") << "/tmp/50%2off" << 0 << 7 << "/tmp/50%2off/2026-12-05_22:01:26.7.jpg";
    }
    void fileName_followsPatternPerSuffix()
    {
        QFETCH(QString, folder);
        QFETCH(int, picIndex);
        QFETCH(int, millisecond);
        QFETCH(QString, name);
        QCOMPARE(PhotoFile::fileName(folder, picIndex, QDateTime(QDate(2026, 12, 5), QTime(22, 1, 26, millisecond))),
                 name);
    }

    void save_writesTurnedPictureInFormatOfSuffix_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<int>("angle");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("blackCorner"); // where source pixel (0, 0) lands
        QTest::newRow("jpg") << "jpg" << QByteArray("jpeg") << 0 << QSize(8, 4) << QPoint(0, 0);
        QTest::newRow("bmp") << "bmp" << QByteArray("bmp") << 0 << QSize(8, 4) << QPoint(0, 0);
        QTest::newRow("png 90") << "png" << QByteArray("png") << 90 << QSize(4, 8) << QPoint(3, 0);
        QTest::newRow("png 270") << "png" << QByteArray("png") << 270 << QSize(4, 8) << QPoint(0, 7);
    }
    void save_writesTurnedPictureInFormatOfSuffix()
    {
        QFETCH(QString, suffix);
        QFETCH(QByteArray, format);
        QFETCH(int, angle);
        QFETCH(QSize, size);
        QFETCH(QPoint, blackCorner);
        const QImage turned = PhotoFile::rotated(knownPicture(), angle);
        QCOMPARE(turned.size(), size);
        QCOMPARE(QColor(turned.pixel(blackCorner)), QColor(Qt::black));
        const QString path = m_dir.filePath("photo." + suffix);
        QVERIFY(PhotoFile::save(turned, path));
        QImageReader reader(path);
        QCOMPARE(reader.format(), format); // detected from the content
        const QImage back = reader.read().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(back.size(), size);
        if (format != "jpeg")
            QCOMPARE(back, turned.convertToFormat(QImage::Format_RGB32));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"photo." + suffix});
        QVERIFY(QFile::remove(path));
    }

    void save_failureLeavesNoFileAndLogsOneLine_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("nullPicture");
        QTest::newRow("encoder refuses after open") << "photo.unknownformat" << false;
        QTest::newRow("frame did not decode") << "photo.png" << true;
    }
    void save_failureLeavesNoFileAndLogsOneLine()
    {
        QFETCH(QString, name);
        QFETCH(bool, nullPicture);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        g_messages.clear();
        QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& message) { g_messages << message; });
        const bool saved = PhotoFile::save(nullPicture ? QImage() : knownPicture(), path);
        qInstallMessageHandler(previous);

        QVERIFY(!saved);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList()); // neither the photo nor a temporary file
        QCOMPARE(g_messages.size(), 1);
        QVERIFY2(g_messages.first().contains(path), qPrintable(g_messages.first()));
        QVERIFY(!g_messages.first().contains(QLatin1Char('\n')));
    }
};

QTEST_MAIN(TestPhotoFile)
#include "tst_photofile.moc"
