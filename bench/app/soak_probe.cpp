// Soak run of the real window with the virtual document camera: JPEG
// 3840*2160, deskew on, a photo every 2 seconds and a PDF every 2 minutes,
// driven through the widget tree as a user would. Checks every photo (complete
// JPEG that decodes) and every PDF (pdfinfo reads it, one page per picture),
// samples the resident memory and prints a summary. Run by scripts/soak.sh.
//
//   soak_probe MINUTES FOLDER
//
// Exit status: 0 when every check held, 1 otherwise (2 for bad arguments).
#include "application.h"
#include "customInterface/widget.h"
#include "mainwidget.h"
#include "Thumbnail.h"
#include "processstats.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kPhotoIntervalMs = 2000;
constexpr int kPdfIntervalMs = 120000;
constexpr int kRssIntervalMs = 5000;
constexpr double kMaxGrowthMb = 10.0;

// A photo is complete when it ends with the JPEG end marker and decodes.
bool photoReadable(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 4)
        return false;
    file.seek(file.size() - 2);
    if (file.read(2) != QByteArray("\xFF\xD9", 2))
        return false;
    file.close();
    QImageReader reader(path);
    const QSize full = reader.size();
    if (!full.isValid())
        return false;
    reader.setScaledSize(full / 8); // the whole entropy-coded data is still read
    return !reader.read().isNull();
}

// Pages of the PDF as pdfinfo reads them; -1 when it cannot read the file.
int pdfPages(const QString& path)
{
    QProcess pdfinfo;
    pdfinfo.start(QStringLiteral("pdfinfo"), {path});
    if (!pdfinfo.waitForFinished(60000) || pdfinfo.exitStatus() != QProcess::NormalExit || pdfinfo.exitCode() != 0)
        return -1;
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption)
            .match(QString::fromUtf8(pdfinfo.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3 || atof(argv[1]) <= 0) {
        fprintf(stderr, "usage: %s MINUTES FOLDER\n", argv[0]);
        return 2;
    }
    const qint64 runMs = qint64(atof(argv[1]) * 60000);
    // Memory settles after the first PDF and its strip clean-up.
    const qint64 warmUpMs = std::min<qint64>(180000, runMs / 4);
    const QString folder = QString::fromLocal8Bit(argv[2]);

    QApplication app(argc, argv);
    const std::unique_ptr<MainWidget> shown = showMainWindow();
    MainWidget& window = *shown;

    auto* formats = window.findChild<QComboBox*>(QStringLiteral("comboBox_PixelFormat"));
    auto* sizes = window.findChild<QComboBox*>(QStringLiteral("comboBox_FrmSize"));
    auto* strip = window.findChild<Thumbnail*>(QStringLiteral("listWidget"));
    auto* photoButton = window.findChild<QPushButton*>(QStringLiteral("TakePhoto"));
    auto* pdfButton = window.findChild<QPushButton*>(QStringLiteral("pushButton"));
    window.findChild<QLineEdit*>(QStringLiteral("lineEdit"))->setText(folder);
    formats->setCurrentText(QStringLiteral("JPEG"));
    sizes->setCurrentText(QStringLiteral("3840*2160"));
    if (formats->currentText() != QLatin1String("JPEG") || sizes->currentText() != QLatin1String("3840*2160")) {
        fprintf(stderr, "soak: the camera offers no JPEG 3840*2160 (TAVIK_VIRTUAL_CAMERA=1?)\n");
        return 2;
    }
    window.findChild<QCheckBox*>(QStringLiteral("DeskImagecheck"))->click();

    int clicks = 0;
    int photosSaved = 0;
    QStringList badPhotos;
    int pdfs = 0;
    QStringList badPdfs;
    QStringList unexpectedBoxes;
    QString lastPdfText;
    std::vector<double> rssAfterWarmUp;
    double rssAtWarmUp = 0;
    QElapsedTimer clock;
    clock.start();

    long frames = 0; // frames handed to the GUI
    QObject::connect(Widget::instance(), &Widget::updatImage, &app, [&] { ++frames; });
    QObject::connect(Widget::instance(), &Widget::signal_SavePic, &app, [&](const QString& path) {
        ++photosSaved;
        if (!photoReadable(path))
            badPhotos << path;
    });

    // The PDF confirmation is modal: read it and press Ok. Any other box is a fault.
    QTimer boxCloser;
    QObject::connect(&boxCloser, &QTimer::timeout, &app, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (box->windowTitle() == QStringLiteral("提示"))
            lastPdfText = box->text();
        else
            unexpectedBoxes << box->windowTitle() + QLatin1Char(' ') + box->text();
        box->accept();
    });
    boxCloser.start(50);

    QTimer photoTimer;
    QObject::connect(&photoTimer, &QTimer::timeout, &app, [&] {
        ++clicks;
        photoButton->click();
    });

    // Composes the strip's pictures, checks the PDF and takes the composed
    // entries off the strip, as a user does between two documents.
    QTimer pdfTimer;
    QObject::connect(&pdfTimer, &QTimer::timeout, &app, [&] {
        const QStringList pictures = strip->GetFilePaths();
        if (pictures.isEmpty())
            return;
        lastPdfText.clear();
        QElapsedTimer took;
        took.start();
        pdfButton->click(); // returns once the confirmation is closed
        const double seconds = took.elapsed() / 1000.0;
        const QString prefix = QStringLiteral("图片路径:");
        const int at = lastPdfText.indexOf(prefix);
        const QString pdf = at < 0 ? QString() : lastPdfText.mid(at + prefix.size());
        ++pdfs;
        const int pages = pdf.isEmpty() ? -1 : pdfPages(pdf);
        printf("soak: %5.1f min  PDF %d: %d pictures, %d pages (pdfinfo), %.1f s, rss=%.1f MB\n",
               clock.elapsed() / 60000.0, pdfs, int(pictures.size()), pages, seconds, residentMb());
        fflush(stdout);
        if (pages != pictures.size())
            badPdfs << (pdf.isEmpty() ? QStringLiteral("(no PDF reported)") : pdf);
        for (const QString& path : pictures + QStringList{pdf}) {
            const int row = strip->GetIndex(path);
            if (row >= 0)
                strip->RemoveItem(row, false);
        }
    });

    QTimer rssTimer;
    QObject::connect(&rssTimer, &QTimer::timeout, &app, [&] {
        const double rss = residentMb();
        if (clock.elapsed() < warmUpMs)
            return;
        if (rssAfterWarmUp.empty()) {
            rssAtWarmUp = rss;
            printf("soak: warm-up over after %.1f min, rss=%.1f MB\n", clock.elapsed() / 60000.0, rss);
            fflush(stdout);
        }
        rssAfterWarmUp.push_back(rss);
    });

    QTimer::singleShot(runMs, &app, [&] {
        photoTimer.stop();
        pdfTimer.stop();
        rssTimer.stop();
        // The last photo's path is still on its way.
        QTimer::singleShot(1500, &app, [&] {
            const double rssEnd = residentMb();
            const double rssMax =
                rssAfterWarmUp.empty() ? rssEnd : *std::max_element(rssAfterWarmUp.begin(), rssAfterWarmUp.end());
            const double growth = rssEnd - rssAtWarmUp;
            const bool ok = photosSaved > 0 && photosSaved >= clicks - 1 && badPhotos.isEmpty() && pdfs > 0 &&
                            badPdfs.isEmpty() && unexpectedBoxes.isEmpty() && growth <= kMaxGrowthMb;
            printf("soak: %.1f frames a second reached the preview\n", frames / (clock.elapsed() / 1000.0));
            printf("soak: %.1f min, photo clicks=%d saved=%d unreadable=%d, PDFs=%d bad=%d, other boxes=%d\n",
                   clock.elapsed() / 60000.0, clicks, photosSaved, int(badPhotos.size()), pdfs, int(badPdfs.size()),
                   int(unexpectedBoxes.size()));
            printf("soak: rss at warm-up=%.1f MB, at end=%.1f MB, max after warm-up=%.1f MB, growth=%+.1f MB "
                   "(limit %.0f)\n",
                   rssAtWarmUp, rssEnd, rssMax, growth, kMaxGrowthMb);
            for (const QString& bad : badPhotos + badPdfs + unexpectedBoxes)
                printf("soak: fault: %s\n", qPrintable(bad));
            printf("soak: %s\n", ok ? "PASS" : "FAIL");
            fflush(stdout);
            QMetaObject::invokeMethod(window.findChild<QWidget*>(QStringLiteral("Dialog")), "closeVieo",
                                      Q_ARG(bool, false));
            if (!ok)
                _exit(1);
            window.close(); // the panel's destructor ends the process with status 0
        });
    });

    photoTimer.start(kPhotoIntervalMs);
    pdfTimer.start(kPdfIntervalMs);
    rssTimer.start(kRssIntervalMs);
    return app.exec();
}
