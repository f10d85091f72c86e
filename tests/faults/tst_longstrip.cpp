// A strip of 1,000 entries: adding, finding and composing stay correct. The
// times are reported, never judged. (Dropping an entry whose file is gone:
// tests/gallery/tst_thumbnail.cpp.)
#include "pdfcomposer.h"
#include "Thumbnail.h"

#include <QListWidget>
#include <QtTest>

namespace {
constexpr int kEntries = 1000;
}

class LongStripTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QStringList m_paths;
    Thumbnail m_strip;

private slots:
    void initTestCase()
    {
        // Entry i is a 16 x 12 picture of colour (i % 256, i / 256, 7).
        for (int i = 0; i < kEntries; ++i) {
            QImage picture(16, 12, QImage::Format_RGB32);
            picture.fill(qRgb(i % 256, i / 256, 7));
            m_paths << m_dir.filePath(QStringLiteral("Picture_%1.png").arg(i, 4, 10, QLatin1Char('0')));
            QVERIFY(picture.save(m_paths.last()));
        }
    }

    void add_thousandEntriesInOrder_duplicatesRefusedWhateverTheCase()
    {
        QElapsedTimer clock;
        clock.start();
        for (const QString& path : qAsConst(m_paths))
            QVERIFY(m_strip.AddImage(path, -1));
        qInfo("adding %d entries: %lld ms", kEntries, clock.restart());
        for (int i = 0; i < kEntries; ++i)
            QCOMPARE(m_strip.GetIndex(m_paths.at(i)), i);
        qInfo("finding all %d entries: %lld ms", kEntries, clock.elapsed());
        QCOMPARE(m_strip.GetFilePaths(), m_paths);
        QCOMPARE(m_strip.findChild<QListWidget*>(QStringLiteral("ListWidgetImage"))->currentRow(), kEntries - 1);

        QVERIFY(!m_strip.AddImage(m_paths.at(500), -1));
        QVERIFY(!m_strip.AddImage(m_paths.at(999).toUpper(), 0));
        QVERIFY(!m_strip.AddImage(m_paths.at(0).toLower(), 3));
        QCOMPARE(m_strip.Count(), kEntries);
    }

    void compose_onePagePerEntryInStripOrder()
    {
        const QString pdf = m_dir.filePath(QStringLiteral("all.pdf"));
        QElapsedTimer clock;
        clock.start();
        QVERIFY(PdfComposer::compose(m_strip.GetFilePaths(), pdf));
        qInfo("composing %d pages: %lld ms", kEntries, clock.elapsed());
        // The last page is entry 999's colour, and there is no page 1001.
        const QString prefix = m_dir.filePath(QStringLiteral("last"));
        QProcess render;
        render.start(QStringLiteral("pdftoppm"), {"-f", "1000", "-l", "1001", "-r", "10", "-png", pdf, prefix});
        QVERIFY(render.waitForFinished(60000));
        QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("last*.png")}), QStringList{"last-1000.png"});
        const QImage page(prefix + QStringLiteral("-1000.png"));
        const QRgb inside = page.pixel(page.width() / 3, page.height() / 2); // past the margin
        QVERIFY2(qAbs(qRed(inside) - 999 % 256) < 8 && qAbs(qGreen(inside) - 999 / 256) < 8 && qAbs(qBlue(inside) - 7) < 8,
                 qPrintable(QColor(inside).name()));
    }
};

QTEST_MAIN(LongStripTest)
#include "tst_longstrip.moc"
