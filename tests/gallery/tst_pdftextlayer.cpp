// The invisible text layer laid over a composed PDF: what text tools find
// and where, that the pages look as before, and documents it refuses.
#include "pdfcomposer.h"
#include "pdftextlayer.h"
#include "pdfupdate.h"
#include "sparsepdfcopy.h"

#include <QBuffer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Layers = QVector<QVector<PdfTextLayer::Word>>;

QString run(const QString& tool, const QStringList& arguments, int* status = nullptr)
{
    QProcess process;
    process.start(tool, arguments);
    const bool done = process.waitForFinished(30000);
    if (status)
        *status = done && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
}

// pdftotext's words as "text@x,y,w,h" (points from the top left, rounded).
QStringList wordsOf(const QString& pdf)
{
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QStringList words;
    auto it = word.globalMatch(run(QStringLiteral("pdftotext"), {"-bbox", pdf, "-"}));
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const auto n = [&](int i) { return qRound(m.captured(i).toDouble()); };
        words << QStringLiteral("%1@%2,%3,%4,%5").arg(m.captured(5)).arg(n(1)).arg(n(2)).arg(n(3) - n(1)).arg(n(4) - n(2));
    }
    return words;
}

PdfTextLayer::Word word(const char* text, double left, double bottom, double width, double height)
{
    return PdfTextLayer::Word{left, bottom, width, height, QString::fromUtf8(text)};
}

} // namespace

Q_DECLARE_METATYPE(PdfTextLayer::Word)

class TestPdfTextLayer : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    // A document of `pages` pictures as "合成PDF" writes it, into pdf.
    void compose(int pages, SparsePdfCopy* copy)
    {
        QImage picture(300, 200, QImage::Format_RGB32);
        picture.fill(QColor(200, 120, 40));
        const QString path = m_dir.filePath(QStringLiteral("picture.png"));
        picture.save(path);
        QStringList pictures;
        for (int i = 0; i < pages; ++i)
            pictures << path;
        PdfComposer::composeTo(pictures, copy);
    }

    QByteArray composed(int pages)
    {
        QByteArray pdf;
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        SparsePdfCopy copy(&buffer);
        copy.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        compose(pages, &copy);
        return pdf;
    }

    // pdf written as QPdfWriter writes (small pieces), with the layers added.
    bool layered(QByteArray* pdf, const Layers& layers, QString* why)
    {
        QByteArray out;
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        SparsePdfCopy copy(&buffer);
        copy.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        for (int at = 0; at < pdf->size(); at += 512)
            copy.write(pdf->mid(at, 512));
        PdfUpdate update;
        if (!update.read(copy, why) || !PdfTextLayer::addTo(&update, layers, why))
            return false;
        *pdf = out + update.bytes();
        return true;
    }

    QString saved(const QByteArray& pdf, const QString& name)
    {
        QFile file(m_dir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(pdf) == pdf.size() ? file.fileName() : QString();
    }

private slots:
    void textLayer_textToolsFindEachWordInItsBox_data()
    {
        QTest::addColumn<Layers>("layers");
        QTest::addColumn<QStringList>("found");
        // Page 842 x 595 points: a word with its bottom at 495 and height 20 spans
        // 80..100 from the top.
        QTest::newRow("English")
            << Layers{{word("Invoice", 100, 495, 80, 20)}} << QStringList{"Invoice@100,80,80,20"};
        QTest::newRow("Chinese, two words on one line")
            << Layers{{word("办公用品", 100, 495, 80, 20), word("采购", 200, 495, 40, 20)}}
            << QStringList{"办公用品@100,80,80,20", "采购@200,80,40,20"};
        QTest::newRow("second page only")
            << Layers{{}, {word("Room", 50, 95, 40, 10)}} << QStringList{"Room@50,490,40,10"};
        QTest::newRow("a character beyond two bytes is left out, the rest kept")
            << Layers{{word("A\xF0\xA0\x80\x80" "B", 100, 495, 20, 20)}} << QStringList{"AB@100,80,20,20"};
    }

    void textLayer_textToolsFindEachWordInItsBox()
    {
        QFETCH(Layers, layers);
        QFETCH(QStringList, found);
        QByteArray pdf = composed(2);
        QString why;
        QVERIFY2(layered(&pdf, layers, &why), qPrintable(why));
        QCOMPARE(wordsOf(saved(pdf, QStringLiteral("words.pdf"))), found);
    }

    // The pages keep every byte and look: the text is drawn in no pixel, and
    // a careful reader finds nothing wrong with the structure.
    void textLayer_keepsTheDocumentsBytesAndLook_embedsItsFont()
    {
        const QByteArray plain = composed(2);
        QByteArray layered = plain;
        QString why;
        QVERIFY(this->layered(&layered, {{word("Hello", 100, 495, 80, 40)}, {word("世界", 100, 300, 80, 40)}}, &why));
        QVERIFY(layered.size() > plain.size() && layered.startsWith(plain));
        const QString before = saved(plain, QStringLiteral("plain.pdf"));
        const QString after = saved(layered, QStringLiteral("layered.pdf"));
        int status = -1;
        const QString check = run(QStringLiteral("qpdf"), {"--check", after}, &status);
        QVERIFY2(status == 0, qPrintable(check));
        QVERIFY2(QRegularExpression(QStringLiteral("TavikTextLayer\\s+CID TrueType\\s+Identity-H\\s+yes\\s+no\\s+yes"))
                     .match(run(QStringLiteral("pdffonts"), {after})).hasMatch(),
                 qPrintable(run(QStringLiteral("pdffonts"), {after})));
        for (const QString& pdf : {before, after})
            QCOMPARE(run(QStringLiteral("pdftoppm"), {"-r", "20", "-png", pdf, pdf}, &status), QString());
        for (const char* page : {"-1.png", "-2.png"})
            QCOMPARE(QImage(after + page), QImage(before + page));
    }

    void textLayer_refusesWhatItCannotRead_leavingItUntouched_data()
    {
        QTest::addColumn<QByteArray>("pdf");
        QTest::addColumn<int>("layers");
        const QByteArray whole = composed(1);
        QTest::newRow("empty") << QByteArray() << 1;
        QTest::newRow("cut before the cross-references") << whole.left(whole.indexOf("xref")) << 1;
        QTest::newRow("startxref pointing elsewhere")
            << QByteArray(whole).replace(whole.lastIndexOf("startxref\n") + 10, 3, "999") << 1;
        QTest::newRow("more layers than pages") << whole << 2;
    }

    void textLayer_refusesWhatItCannotRead_leavingItUntouched()
    {
        QFETCH(QByteArray, pdf);
        QFETCH(int, layers);
        const QByteArray before = pdf;
        QString why;
        QVERIFY(!layered(&pdf, Layers(layers, {word("x", 10, 10, 10, 10)}), &why));
        QVERIFY(!why.isEmpty());
        QCOMPARE(pdf, before);
    }
};

QTEST_MAIN(TestPdfTextLayer)
#include "tst_pdftextlayer.moc"
