// Searchable PDFs: the "可搜索PDF" box without a recognition engine or its
// data, then the whole road in the window (virtual camera showing a page of
// known text, photo, PDF with its words), a cancel, and "合成PDF" with the box
// off. The text layer's own structure: tests/gallery/tst_pdftextlayer.cpp.
#include "Thumbnail.h"
#include "mainwidget.h"
#include "searchablepdfswitch.h"
#include "testsupport.h"
#include "textrecognition.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>

using namespace TestSupport;

namespace {

// The known text, one line each, drawn large on a page at these heights
// (shares of the page's height).
struct Line {
    const char* text;
    double y;
};
const Line kLines[] = {
    {"办公用品采购通知", 0.10},
    {"Invoice 2026 Quarterly", 0.30},
    {"请于周五前报送清单", 0.50},
    {"Meeting Room 305", 0.70},
};

// A white page with the lines, turned a little on a dark desk, as a JPEG the
// virtual camera shows. The page's rectangle in the picture: `page`.
QString deskWithPage(const QString& path, QSize frame, QRect page)
{
    QImage desk = filled(frame.width(), frame.height(), QColor(58, 48, 42));
    QPainter p(&desk);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.fillRect(page, QColor(246, 246, 242));
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(page.height() / 20);
    p.setFont(font);
    p.setPen(QColor(25, 25, 30));
    for (const Line& line : kLines)
        p.drawText(page.left() + page.width() / 10, page.top() + int(line.y * page.height()) + font.pixelSize(),
                   QString::fromUtf8(line.text));
    p.end();
    return desk.save(path, "JPG", 92) ? path : QString();
}

// pdftotext's words with their boxes (points, origin at the top left).
struct PdfWord {
    QString text;
    QRectF box;
};

QVector<PdfWord> wordsOf(const QString& pdf)
{
    QProcess tool;
    tool.start(QStringLiteral("pdftotext"), {"-bbox", pdf, "-"});
    QVector<PdfWord> words;
    if (!tool.waitForFinished(30000))
        return words;
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    auto it = word.globalMatch(QString::fromUtf8(tool.readAllStandardOutput()));
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        words.append({m.captured(5), QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                                            QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()))});
    }
    return words;
}

QString fontsOf(const QString& pdf)
{
    QProcess tool;
    tool.start(QStringLiteral("pdffonts"), {pdf});
    return tool.waitForFinished(30000) ? QString::fromUtf8(tool.readAllStandardOutput()) : QStringLiteral("failed");
}

} // namespace

class SearchablePdfTest : public QObject
{
    Q_OBJECT

    MainWidget* m_window = nullptr; // never deleted: destroying it ends the process
    cameraWidget* m_panel = nullptr;
    Thumbnail* m_strip = nullptr;
    QTemporaryDir m_dir;
    QTemporaryDir m_scratch;
    const QSize m_frame{1920, 1080};
    const QRect m_page{640, 60, 680, 960};

    template <typename T> T* child(const char* name) { return m_window->findChild<T*>(QLatin1String(name)); }
    QStringList pdfsOnDisk() const { return entriesOf(m_dir.path()).filter(QStringLiteral(".pdf")); }

    QString takePhoto()
    {
        const int before = m_strip->Count();
        child<QPushButton>("TakePhoto")->click();
        return QTest::qWaitFor([&] { return m_strip->Count() > before; }, 5000) ? m_strip->GetFilePaths().constLast()
                                                                                 : QString();
    }

private slots:
    void initTestCase()
    {
        TextRecognition::limitEngineThreads();
        QVERIFY(m_dir.isValid() && m_scratch.isValid());
    }

    void box_disabledNamingThePackage_whenEngineOrDataMissing_data()
    {
        QTest::addColumn<QString>("dataPath");
        QTest::addColumn<QString>("libraryPath");
        QTest::addColumn<QStringList>("named");
        // The engine first: once loaded, it stays.
        QTest::newRow("no engine") << QString() << m_scratch.filePath(QStringLiteral("libTavikOcr.so"))
                                   << QStringList{"libtesseract5"};
        QTest::newRow("no language data") << m_scratch.path() << QString()
                                          << QStringList{"tesseract-ocr-chi-sim", "tesseract-ocr-eng"};
    }

    void box_disabledNamingThePackage_whenEngineOrDataMissing()
    {
        QFETCH(QString, dataPath);
        QFETCH(QString, libraryPath);
        QFETCH(QStringList, named);
        TextRecognition::setDataPath(dataPath);
        TextRecognition::setLibraryPath(libraryPath);
        QWidget column;
        auto* form = new QFormLayout(&column);
        SearchablePdfSwitch box(form, &column);
        QVERIFY(QTest::qWaitFor([&] { return !box.box()->isEnabled(); }, 10000));
        QVERIFY(!box.isOn());
        for (const QString& package : named)
            QVERIFY2(box.box()->toolTip().contains(package), qPrintable(box.box()->toolTip()));
        TextRecognition::setDataPath(QString());
        TextRecognition::setLibraryPath(QString());
    }

    void window_withPageOfKnownText()
    {
        const QString image = deskWithPage(m_scratch.filePath(QStringLiteral("desk.jpg")), m_frame, m_page);
        QVERIFY(!image.isEmpty());
        qputenv("TAVIK_VIRTUAL_IMAGE", QFile::encodeName(image));
        onlyVirtualCamera(true);
        m_window = new MainWidget;
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        m_panel = m_window->findChild<cameraWidget*>();
        m_strip = child<Thumbnail>("listWidget");
        child<QLineEdit>("lineEdit")->setText(m_dir.path());
        child<QComboBox>("comboBox_PixelFormat")->setCurrentText(QStringLiteral("JPEG"));
        child<QComboBox>("comboBox_FrmSize")->setCurrentText(QStringLiteral("1920*1080"));
        QCOMPARE(g_stream.width, m_frame.width());

        // The new rows follow "合成PDF" in the order they came.
        auto* form = child<QFormLayout>("formLayout");
        QFormLayout::ItemRole role;
        int pdfRow = -1, autoRow = -1, modeRow = -1, searchableRow = -1;
        form->getWidgetPosition(child<QPushButton>("pushButton"), &pdfRow, &role);
        form->getWidgetPosition(child<QCheckBox>("checkBox_autoCapture"), &autoRow, &role);
        form->getWidgetPosition(child<QComboBox>("comboBox_colorMode"), &modeRow, &role);
        form->getWidgetPosition(child<QCheckBox>("checkBox_searchablePdf"), &searchableRow, &role);
        QVERIFY(pdfRow < autoRow && autoRow < modeRow && modeRow < searchableRow);
        QCOMPARE(searchableRow, form->rowCount() - 1);
        QVERIFY(!child<QCheckBox>("checkBox_searchablePdf")->isChecked());
    }

    // With the box off, "合成PDF" composes on the GUI thread: file and box are
    // there when the click returns, and the document carries no text.
    void boxOff_pdfComposedDuringTheClick_withoutText()
    {
        QVERIFY(!takePhoto().isEmpty());
        BoxCloser boxes;
        child<QPushButton>("pushButton")->click();
        QCOMPARE(boxes.titles, QStringList{QStringLiteral("提示")});
        QCOMPARE(pdfsOnDisk().size(), 1);
        const QString pdf = m_dir.filePath(pdfsOnDisk().constFirst());
        QVERIFY(!fontsOf(pdf).contains(QStringLiteral("TavikTextLayer")));
        QVERIFY(wordsOf(pdf).isEmpty());
        QFile::remove(pdf);
        m_strip->RemoveItem(m_strip->Count() - 1, false);
    }

    void boxOn_pdfCarriesTheWordsWhereTheyStand()
    {
        child<QCheckBox>("DeskImagecheck")->click(); // the photo is the page, straightened
        const QString photo = takePhoto();
        QVERIFY(!photo.isEmpty());
        while (m_strip->Count() > 1)
            m_strip->RemoveItem(0, false);
        auto* box = child<QCheckBox>("checkBox_searchablePdf");
        QVERIFY(QTest::qWaitFor([&] { return box->isEnabled(); }, 5000));
        box->click();
        BoxCloser boxes;
        child<QPushButton>("pushButton")->click();
        QVERIFY(boxes.titles.isEmpty()); // off the GUI thread
        QVERIFY(QTest::qWaitFor([&] { return !boxes.titles.isEmpty(); }, 60000));
        QCOMPARE(boxes.texts.constFirst().section(QStringLiteral("图片路径:"), 1), m_strip->GetFilePaths().constLast());
        const QString pdf = m_strip->GetFilePaths().constLast();

        // Each line's words are found, inside the picture, at the line's place:
        // the picture fills the page's height from the top margin (10 pt).
        const QVector<PdfWord> words = wordsOf(pdf);
        const QSize pixels = QImage(photo).size();
        const double height = 595 - 2 * 10.08;
        const QRectF picture(10.08, 10.08, height * pixels.width() / pixels.height(), height);
        for (const Line& line : kLines) {
            const QStringList parts = QString::fromUtf8(line.text).split(QLatin1Char(' '));
            for (const QString& part : parts) {
                const auto found = std::find_if(words.begin(), words.end(), [&](const PdfWord& w) { return w.text.contains(part); });
                QVERIFY2(found != words.end(), qPrintable(part));
                QVERIFY2(picture.contains(found->box), qPrintable(part));
                const double y = (found->box.center().y() - picture.top()) / picture.height();
                QVERIFY2(qAbs(y - line.y - 0.025) < 0.05, qPrintable(QStringLiteral("%1 at %2").arg(part).arg(y)));
            }
        }
        box->click();
    }

    // A cancel leaves no file, no strip entry and no box.
    void cancel_leavesNothing()
    {
        for (int i = 0; i < 3; ++i)
            QVERIFY(!takePhoto().isEmpty());
        const QStringList before = entriesOf(m_dir.path());
        const int entries = m_strip->Count();
        auto* box = child<QCheckBox>("checkBox_searchablePdf");
        box->click();
        BoxCloser boxes;
        child<QPushButton>("pushButton")->click();
        auto* progress = m_window->findChild<QProgressDialog*>(QStringLiteral("searchablePdfProgress"));
        QVERIFY(progress);
        QCOMPARE(progress->labelText().left(6), QStringLiteral("正在识别文字"));
        progress->findChild<QPushButton*>()->click(); // "取消"
        auto* panelSwitch = m_panel->findChild<SearchablePdfSwitch*>();
        QVERIFY(QTest::qWaitFor([&] { return !panelSwitch->busy(); }, 60000));
        QTest::qWait(200);
        QCOMPARE(entriesOf(m_dir.path()), before);
        QCOMPARE(m_strip->Count(), entries);
        QVERIFY(boxes.titles.isEmpty());
        box->click();
    }

    // A folder gone by the time the file is written: a notice says so, and
    // nothing joins the strip.
    void folderGone_noticeAndNothingListed()
    {
        auto* box = child<QCheckBox>("checkBox_searchablePdf");
        box->click();
        child<QLineEdit>("lineEdit")->setText(m_dir.filePath(QStringLiteral("gone")));
        const int entries = m_strip->Count();
        BoxCloser boxes;
        child<QPushButton>("pushButton")->click();
        auto* panelSwitch = m_panel->findChild<SearchablePdfSwitch*>();
        QVERIFY(QTest::qWaitFor([&] { return !panelSwitch->busy(); }, 60000));
        auto* notice = child<QLabel>("label_notice");
        QVERIFY(notice && notice->isVisible());
        QCOMPARE(notice->text(), QStringLiteral("PDF未保存：文件夹不存在"));
        QCOMPARE(m_strip->Count(), entries);
        QVERIFY(boxes.titles.isEmpty());
        child<QLineEdit>("lineEdit")->setText(m_dir.path());
        box->click();
    }

    void cleanupTestCase()
    {
        if (m_panel)
            windDown(m_panel);
    }
};

QTEST_MAIN(SearchablePdfTest)
#include "tst_searchablepdf.moc"
