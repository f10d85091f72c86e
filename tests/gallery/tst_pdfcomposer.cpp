// A failing save folder: tests/faults/tst_savefolder.cpp.
#include "pdfcomposer.h"

#include <QDir>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(QImage::Format)

namespace {

// Pages rendered at 10 dpi: an A4 landscape page is 117 x 83 pixels, the
// 10 pt margin about 1.4 pixels.
QList<QImage> renderPages(const QString& pdf)
{
    QTemporaryDir dir;
    const QString prefix = dir.filePath(QStringLiteral("page"));
    QProcess pdftoppm;
    pdftoppm.start(QStringLiteral("pdftoppm"), {"-r", "10", "-png", pdf, prefix});
    QList<QImage> pages;
    if (!pdftoppm.waitForFinished(30000) || pdftoppm.exitCode() != 0)
        return pages;
    for (QImage page; !(page = QImage(QStringLiteral("%1-%2.png").arg(prefix).arg(pages.size() + 1))).isNull();)
        pages << page;
    return pages;
}

bool near(QColor a, QColor b)
{
    return qAbs(a.red() - b.red()) < 40 && qAbs(a.green() - b.green()) < 40 && qAbs(a.blue() - b.blue()) < 40;
}

} // namespace

class TestPdfComposer : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString picture(const QString& name, QColor colour, QSize size = QSize(40, 30))
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        return image.save(m_dir.filePath(name)) ? m_dir.filePath(name) : QString();
    }

private slots:
    void outputName_usesTwoDigitYearAndUnderscores()
    {
        const QDateTime when(QDate(2026, 12, 5), QTime(22, 1, 26, 500));
        QCOMPARE(PdfComposer::outputName(QStringLiteral("/tmp/tavik_files"), when),
                 QStringLiteral("/tmp/tavik_files/Pdf_26_12_05-22_01_26.pdf"));
    }

    void compose_givesOneLandscapeA4PagePerPictureInListOrder_data()
    {
        QTest::addColumn<QStringList>("entries");  // "earlier.pdf", "missing.png" load nothing
        QTest::addColumn<QString>("pageColours"); // r, g, b, w(hite, empty page)
        QTest::newRow("order follows list") << QStringList{"b.bmp", "r.png", "g.jpg"} << "brg";
        QTest::newRow("PDF and missing file take no page")
            << QStringList{"earlier.pdf", "g.jpg", "missing.png", "r.png"} << "gr";
        QTest::newRow("nothing loadable gives one empty page") << QStringList{"earlier.pdf", "missing.png"} << "w";
    }
    void compose_givesOneLandscapeA4PagePerPictureInListOrder()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, pageColours);
        picture("g.jpg", Qt::green);
        picture("b.bmp", Qt::blue);
        QVERIFY(PdfComposer::compose({picture("r.png", Qt::red)}, m_dir.filePath("earlier.pdf")));
        QStringList paths;
        for (const QString& entry : entries)
            paths << m_dir.filePath(entry);
        const QString pdf = m_dir.filePath(QStringLiteral("out.pdf"));
        QVERIFY(PdfComposer::compose(paths, pdf));

        const QList<QImage> pages = renderPages(pdf);
        QCOMPARE(pages.size(), pageColours.size());
        const QMap<QChar, QColor> colours{{'r', Qt::red}, {'g', Qt::green}, {'b', Qt::blue}, {'w', Qt::white}};
        for (int i = 0; i < pages.size(); ++i) {
            QCOMPARE(pages.at(i).size(), QSize(117, 83));
            const QColor middle = pages.at(i).pixelColor(50, 40); // inside the 4:3 picture
            QVERIFY2(near(middle, colours.value(pageColours.at(i))), qPrintable(middle.name()));
        }
    }

    void compose_fitsPictureAtTopLeftOfPrintableArea_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("inside");
        QTest::addColumn<QPoint>("outside");
        // The printable area spans about (1.4, 1.4) to (115.5, 81.6) at 10 dpi.
        QTest::newRow("portrait fills height, right empty") << QSize(30, 60) << QPoint(10, 78) << QPoint(60, 40);
        QTest::newRow("wide fills width, bottom empty") << QSize(90, 20) << QPoint(110, 10) << QPoint(50, 60);
        QTest::newRow("small picture enlarged") << QSize(4, 3) << QPoint(100, 75) << QPoint(116, 40);
    }
    void compose_fitsPictureAtTopLeftOfPrintableArea()
    {
        QFETCH(QSize, size);
        QFETCH(QPoint, inside);
        QFETCH(QPoint, outside);
        const QString pdf = m_dir.filePath(QStringLiteral("fit.pdf"));
        QVERIFY(PdfComposer::compose({picture("fit.png", Qt::blue, size)}, pdf));
        const QList<QImage> pages = renderPages(pdf);
        QCOMPARE(pages.size(), 1);
        QVERIFY(near(pages.first().pixelColor(3, 3), Qt::blue));
        QVERIFY(near(pages.first().pixelColor(inside), Qt::blue));
        QVERIFY(near(pages.first().pixelColor(outside), Qt::white));
        QVERIFY(near(pages.first().pixelColor(0, 0), Qt::white)); // margin
    }

    // A grey picture goes in as one grey channel (a grey JPEG file as it
    // is), a black-and-white one as one bit a pixel; both look as they are.
    void compose_greyStaysGrey_blackAndWhiteStaysOneBit_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QImage::Format>("format");
        QTest::addColumn<QString>("embedded"); // pdfimages -list: colour space, channels, bits, encoding
        QTest::newRow("colour JPG") << "colour.jpg" << QImage::Format_RGB32 << "rgb 3 8 jpeg";
        QTest::newRow("grey JPG, bytes as they are") << "grey.jpg" << QImage::Format_Grayscale8 << "gray 1 8 jpeg";
        QTest::newRow("grey PNG") << "grey.png" << QImage::Format_Grayscale8 << "gray 1 8 jpeg";
        QTest::newRow("grey BMP (a grey ramp of colours)") << "grey.bmp" << QImage::Format_Grayscale8 << "gray 1 8 jpeg";
        QTest::newRow("1-bit PNG") << "mono.png" << QImage::Format_Mono << "gray 1 1 image";
        QTest::newRow("1-bit BMP") << "mono.bmp" << QImage::Format_Mono << "gray 1 1 image";
    }
    void compose_greyStaysGrey_blackAndWhiteStaysOneBit()
    {
        QFETCH(QString, name);
        QFETCH(QImage::Format, format);
        QFETCH(QString, embedded);
        // Dark on the left half, light on the right.
        QImage image(60, 40, QImage::Format_RGB32);
        image.fill(QColor(250, 250, 250));
        QPainter(&image).fillRect(0, 0, 30, 40, QColor(20, 20, 20));
        const QString path = m_dir.filePath(name);
        QVERIFY(image.convertToFormat(format, Qt::ThresholdDither).save(path));
        const QString pdf = m_dir.filePath(QStringLiteral("grey.pdf"));
        QVERIFY(PdfComposer::compose({path, path}, pdf));

        QProcess list;
        list.start(QStringLiteral("pdfimages"), {"-list", pdf});
        QVERIFY(list.waitForFinished(30000));
        const QStringList rows = QString::fromLatin1(list.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts).mid(2);
        QCOMPARE(rows.size(), 2);
        for (const QString& row : rows)
            QCOMPARE(row.simplified().section(' ', 5, 8), embedded);
        if (name == QLatin1String("grey.jpg")) {
            QProcess extract;
            extract.start(QStringLiteral("pdfimages"), {"-j", "-f", "2", pdf, m_dir.filePath(QStringLiteral("out"))});
            QVERIFY(extract.waitForFinished(30000));
            QFile file(path), out(m_dir.filePath(QStringLiteral("out-000.jpg")));
            QVERIFY(file.open(QIODevice::ReadOnly) && out.open(QIODevice::ReadOnly));
            QCOMPARE(out.readAll(), file.readAll());
        }
        const QList<QImage> pages = renderPages(pdf);
        QCOMPARE(pages.size(), 2);
        for (const QImage& page : pages) {
            QVERIFY2(qGray(page.pixel(25, 40)) < 60, qPrintable(page.pixelColor(25, 40).name()));
            QVERIFY2(qGray(page.pixel(90, 40)) > 220, qPrintable(page.pixelColor(90, 40).name()));
        }
    }
};

QTEST_MAIN(TestPdfComposer)
#include "tst_pdfcomposer.moc"
