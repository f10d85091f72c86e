#include "pdfcomposer.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList g_messages;

void recordMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
    g_messages << message;
}

// Standard output of the program; empty when it did not run to success.
QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    const bool ok = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
                    process.exitCode() == 0;
    return ok ? QString::fromUtf8(process.readAllStandardOutput()) + '\n' : QString();
}

QString pdfInfoLine(const QString& pdf, const QString& key)
{
    for (const QString& line : run(QStringLiteral("pdfinfo"), {pdf}).split('\n')) {
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).simplified();
    }
    return QString();
}

// Pages rendered at 10 dpi: an A4 landscape page is 117 x 83 pixels, the
// 10 pt margin about 1.4 pixels.
QList<QImage> renderPages(const QString& pdf)
{
    QList<QImage> pages;
    QTemporaryDir dir;
    const QString prefix = dir.filePath(QStringLiteral("page"));
    if (run(QStringLiteral("pdftoppm"), {"-r", "10", "-png", pdf, prefix}).isEmpty())
        return pages;
    for (int page = 1;; ++page) {
        const QImage image(QStringLiteral("%1-%2.png").arg(prefix).arg(page));
        if (image.isNull())
            return pages;
        pages << image;
    }
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
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())
            QFAIL("pdftoppm and pdfinfo (poppler-utils) are needed");
    }

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

        QCOMPARE(pdfInfoLine(pdf, "Pages"), QString::number(pageColours.size()));
        QCOMPARE(pdfInfoLine(pdf, "Page size"), QStringLiteral("842 x 595 pts (A4)"));
        const QList<QImage> pages = renderPages(pdf);
        QCOMPARE(pages.size(), pageColours.size());
        const QMap<QChar, QColor> colours{{'r', Qt::red}, {'g', Qt::green}, {'b', Qt::blue}, {'w', Qt::white}};
        for (int i = 0; i < pages.size(); ++i) {
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

    void compose_unwritableFolderGivesNoFileAndOneLogLine()
    {
        const QString pdf = m_dir.filePath(QStringLiteral("no-such-folder/Pdf_26_12_05-22_01_26.pdf"));
        QtMessageHandler previous = qInstallMessageHandler(recordMessage);
        const bool written = PdfComposer::compose({picture("r.png", Qt::red)}, pdf);
        qInstallMessageHandler(previous);
        QVERIFY(!written);
        QVERIFY(!QFileInfo::exists(pdf));
        QCOMPARE(g_messages.size(), 1);
        QVERIFY(g_messages.first().contains(pdf));
    }
};

QTEST_MAIN(TestPdfComposer)
#include "tst_pdfcomposer.moc"
