// Measures hands-free capture in the real window with the virtual camera
// playing its page script (TAVIK_VIRTUAL_PAGES): which photos were taken and
// when each file was complete, whether a hand shows in any of them, and the
// preview's painted frame rate meanwhile. Run through autocapture_figures.sh,
// which starts it under Xvfb and matches the files against the times the
// camera reports for each hand leaving the picture.
//
//   autocapture_probe FORMAT SIZE DESKEW SECONDS [FOLDER]   e.g. JPEG 1920*1080 1 90
//
// The photos go to FOLDER if given (kept), else to a temporary folder.
//
// Prints one "photo" line per file: completion time (wall clock, from the
// file), the share of skin-coloured pixels, the difference from the photo
// before, and the path; then a "preview" line.
#include "application.h"
#include "customInterface/widget.h"
#include "mainwidget.h"
#include "previewpaints.h"
#include "processstats.h"
#include "scenewatcher.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/stat.h>

namespace {

// The virtual hand's colour, with room for JPEG's error and the shading.
bool skin(QRgb p)
{
    const int r = qRed(p), g = qGreen(p), b = qBlue(p);
    return r > 195 && g > 140 && g < 200 && b > 105 && b < 170 && r - g > 35 && g - b > 15;
}

double skinShare(const QImage& image)
{
    const QImage small = image.scaled(image.width() / 4, image.height() / 4).convertToFormat(QImage::Format_RGB32);
    long count = 0;
    for (int y = 0; y < small.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(small.constScanLine(y));
        for (int x = 0; x < small.width(); ++x)
            count += skin(row[x]);
    }
    return small.isNull() ? 0 : double(count) / (double(small.width()) * small.height());
}

SceneWatcher::Thumb thumbOf(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    return SceneWatcher::thumbOf(rgb.constBits(), rgb.width(), rgb.height(), rgb.bytesPerLine());
}

double completedAt(const QString& path)
{
    struct stat info {};
    if (stat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return info.st_mtim.tv_sec + info.st_mtim.tv_nsec / 1e9;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 5) {
        fprintf(stderr, "usage: %s FORMAT SIZE DESKEW SECONDS\n", argv[0]);
        return 2;
    }
    const QString format = QString::fromLatin1(argv[1]);
    const QString size = QString::fromLatin1(argv[2]);
    const bool deskew = QByteArray(argv[3]) == "1";
    const int seconds = atoi(argv[4]);

    QApplication app(argc, argv);
    const std::unique_ptr<MainWidget> shown = showMainWindow();
    MainWidget& window = *shown;
    QTemporaryDir scratch;
    const QString folder = argc > 5 ? QString::fromLocal8Bit(argv[5]) : scratch.path();
    window.findChild<QLineEdit*>(QStringLiteral("lineEdit"))->setText(folder);
    auto* formats = window.findChild<QComboBox*>(QStringLiteral("comboBox_PixelFormat"));
    auto* sizes = window.findChild<QComboBox*>(QStringLiteral("comboBox_FrmSize"));
    formats->setCurrentText(format);
    sizes->setCurrentText(size);
    if (sizes->currentText() != size || formats->currentText() != format) {
        fprintf(stderr, "the camera does not offer %s %s\n", argv[1], argv[2]);
        return 2;
    }
    if (deskew)
        window.findChild<QCheckBox*>(QStringLiteral("DeskImagecheck"))->click();
    window.findChild<QCheckBox*>(QStringLiteral("checkBox_autoCapture"))->click();

    const PreviewPaints paints(window.findChild<QLabel*>(QStringLiteral("label")), &app);
    QElapsedTimer wall;
    wall.start();
    const double cpuStart = cpuSeconds();

    QTimer::singleShot(seconds * 1000, &app, [&] {
        const double elapsed = wall.nsecsElapsed() / 1e9;
        const double cpu = (cpuSeconds() - cpuStart) / elapsed;
        QMetaObject::invokeMethod(window.findChild<QWidget*>(QStringLiteral("Dialog")), "closeVieo", Q_ARG(bool, false));
        const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files, QDir::Name);
        SceneWatcher::Thumb before;
        for (const QFileInfo& file : files) {
            const QImage image(file.filePath());
            const SceneWatcher::Thumb thumb = thumbOf(image);
            printf("photo %.3f skin=%.4f change=%.3f %s\n", completedAt(file.filePath()), skinShare(image),
                   before.empty() ? 1.0 : SceneWatcher::changedShare(thumb, before), qPrintable(file.fileName()));
            before = thumb;
        }
        printf("preview %s %s deskew=%d painted=%.1f fps cpu=%.2f cores photos=%d\n", argv[1], argv[2], int(deskew),
               paints.count() / elapsed, cpu, int(files.size()));
        fflush(stdout);
        window.close();
    });
    return app.exec();
}
