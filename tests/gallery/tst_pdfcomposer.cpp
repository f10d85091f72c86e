// A failing save folder: tests/faults/tst_savefolder.cpp.
#include "pdfcomposer.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

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
};

QTEST_MAIN(TestPdfComposer)
#include "tst_pdfcomposer.moc"
