// Measures the image modes in the real window with the virtual camera
// showing pages of known text (TAVIK_VIRTUAL_IMAGE) at 3840*2160 with deskew
// on: the preview's painted frame rate in each mode, the time from the click
// to the complete photo, the photos' sizes ("原图" JPG against "黑白" PNG), and
// PDFs of the same pages in "原图" and in "黑白". Run through
// imagemode_figures.sh.
//
//   imagemode_probe FOLDER PAGES
#include "Thumbnail.h"
#include "application.h"
#include "eventwait.h"
#include "mainwidget.h"
#include "pdfcomposer.h"
#include "previewpaints.h"
#include "textpages.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

const char* const kModes[] = {"原图", "文档", "灰度", "黑白"};

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 3) {
        fprintf(stderr, "usage: %s FOLDER PAGES\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int pages = atoi(argv[2]);
    QApplication app(argc, argv);
    QDir().mkpath(folder);
    QStringList desks;
    for (int i = 0; i < pages; ++i) {
        const TextPages::Page page = TextPages::make(TextPages::names()[i % TextPages::names().size()]);
        desks << QDir(folder).filePath(QStringLiteral("desk_%1.jpg").arg(i + 1));
        TextPages::onDesk(page, QSize(3840, 2160), -4.0 + std::fmod(1.7 * i, 8.0)).save(desks.last(), "JPG", 92);
    }
    const QString photos = QDir(folder).filePath(QStringLiteral("photos"));
    QDir().mkpath(photos);
    qputenv("TAVIK_VIRTUAL_IMAGE", QFile::encodeName(desks[0]));

    const std::unique_ptr<MainWidget> shown = showMainWindow();
    MainWidget& window = *shown;
    QWidget* panel = window.findChild<QWidget*>(QStringLiteral("Dialog"));
    const auto child = [&](const char* name) { return panel->findChild<QWidget*>(QLatin1String(name)); };
    static_cast<QLineEdit*>(child("lineEdit"))->setText(photos);
    static_cast<QComboBox*>(child("comboBox_PixelFormat"))->setCurrentText(QStringLiteral("JPEG"));
    static_cast<QComboBox*>(child("comboBox_FrmSize"))->setCurrentText(QStringLiteral("3840*2160"));
    static_cast<QCheckBox*>(child("DeskImagecheck"))->click();
    auto* modes = static_cast<QComboBox*>(child("comboBox_colorMode"));
    auto* formats = static_cast<QComboBox*>(child("comboBox_Pic"));
    auto* strip = window.findChild<Thumbnail*>(QStringLiteral("listWidget"));
    PreviewPaints paints(static_cast<QLabel*>(child("label")), &app);
    waitFor(2000);

    for (int m = 0; m < 4; ++m) {
        modes->setCurrentIndex(m);
        waitFor(1000);
        paints.reset();
        QElapsedTimer clock;
        clock.start();
        waitFor(8000);
        printf("preview %s: %.1f fps painted (JPEG 3840*2160, deskew on)\n", kModes[m], paints.count() * 1e9 / clock.nsecsElapsed());
    }

    // Each page in each mode: "原图" and the grey modes as JPG, "黑白" as PNG.
    QStringList taken[4];
    std::vector<double> seconds[4];
    for (int i = 0; i < pages; ++i) {
        qputenv("TAVIK_VIRTUAL_IMAGE", QFile::encodeName(desks[i]));
        QMetaObject::invokeMethod(panel, "closeVieo", Q_ARG(bool, false));
        QMetaObject::invokeMethod(panel, "openVideo");
        waitFor(1500);
        for (int m = 0; m < 4; ++m) {
            modes->setCurrentIndex(m);
            formats->setCurrentIndex(m == 3 ? 2 : 0);
            const int before = strip->Count();
            QElapsedTimer clock;
            clock.start();
            static_cast<QPushButton*>(child("TakePhoto"))->click();
            if (!waitUntil([&] { return strip->Count() > before; }, 10000)) {
                fprintf(stderr, "photo %d in %s not taken\n", i + 1, kModes[m]);
                return 1;
            }
            seconds[m].push_back(clock.nsecsElapsed() / 1e9);
            taken[m] << strip->GetFilePaths().constLast();
        }
    }
    for (int m = 0; m < 4; ++m) {
        std::vector<double> sizes;
        for (const QString& path : taken[m])
            sizes.push_back(QFileInfo(path).size());
        const QString pdf = QDir(folder).filePath(QStringLiteral("modes_%1.pdf").arg(m));
        QElapsedTimer clock;
        clock.start();
        PdfComposer::compose(taken[m], pdf);
        printf("photos %s: click to file %.0f ms median, %.0f KB median, %d pages PDF %.0f KB in %.2f s\n", kModes[m],
               1000 * median(seconds[m]), median(sizes) / 1024, pages, QFileInfo(pdf).size() / 1024.0,
               clock.nsecsElapsed() / 1e9);
    }
    QMetaObject::invokeMethod(panel, "closeVieo", Q_ARG(bool, false));
    window.close();
    return 0;
}
