// Measures the live preview of the real window with the virtual camera:
// painted frames per second, capture-to-paint latency, CPU use and resident
// memory. Run through preview_figures.sh, which starts it under Xvfb.
//
//   preview_probe FORMAT SIZE DESKEW SECONDS        e.g. JPEG 3840*2160 1 8
//   preview_probe FORMAT SIZE DESKEW memory         RSS after 500 and 5,000 frames
//   preview_probe FORMAT SIZE DESKEW photo          click-to-file time of 10 photos
//
// Capture times come from a wrapper around the frame callback: this program
// defines StartCapture itself, so the panel's call lands here and is passed
// on to the capture library with the callback wrapped.
#include "camera.h"
#include "application.h"
#include "customInterface/widget.h"
#include "framepipeline.h"
#include "mainwidget.h"
#include "processstats.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using StartCaptureFn = int (*)(int, FrameCallback);

FrameCallback s_realCallback = nullptr;         // set before the stream starts
std::atomic<long long> s_pendingCaptureNs{0}; // capture time of the frame in flight
std::atomic<long> s_framesDelivered{0};
std::atomic<long long> s_photoFrameNs{0};     // handling time of the frame that served a photo

long long nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Capture thread: stamps the frame the pipeline is about to accept.
void timedCallback(unsigned char* buffer, unsigned long len)
{
    ++s_framesDelivered;
    const long long start = nowNs();
    const bool photo = g_currentInfo.isTakePhoto && !g_currentInfo.getImageOk;
    if (!g_currentInfo.getImageOk)
        s_pendingCaptureNs = start;
    s_realCallback(buffer, len);
    if (photo && !g_currentInfo.isTakePhoto)
        s_photoFrameNs = nowNs() - start;
}

} // namespace

extern "C" int StartCapture(int handle, FrameCallback callback)
{
    static auto real = reinterpret_cast<StartCaptureFn>(dlsym(RTLD_NEXT, "StartCapture"));
    s_realCallback = callback;
    return real(handle, timedCallback);
}

int main(int argc, char* argv[])
{
    if (argc < 5) {
        fprintf(stderr, "usage: %s FORMAT SIZE DESKEW SECONDS|memory\n", argv[0]);
        return 2;
    }
    const QString format = QString::fromLatin1(argv[1]);
    const QString size = QString::fromLatin1(argv[2]);
    const bool deskew = QByteArray(argv[3]) == "1";
    const bool memoryRun = QByteArray(argv[4]) == "memory";
    const bool photoRun = QByteArray(argv[4]) == "photo";
    const int seconds = memoryRun || photoRun ? 0 : atoi(argv[4]);

    QApplication app(argc, argv);
    const std::unique_ptr<MainWidget> shown = showMainWindow();
    MainWidget& window = *shown;

    auto* formats = window.findChild<QComboBox*>(QStringLiteral("comboBox_PixelFormat"));
    auto* sizes = window.findChild<QComboBox*>(QStringLiteral("comboBox_FrmSize"));
    auto* preview = window.findChild<QLabel*>(QStringLiteral("label"));
    formats->setCurrentText(format);
    sizes->setCurrentText(size);
    if (sizes->currentText() != size || formats->currentText() != format) {
        fprintf(stderr, "the camera does not offer %s %s\n", argv[1], argv[2]);
        return 2;
    }
    if (deskew)
        window.findChild<QCheckBox*>(QStringLiteral("DeskImagecheck"))->click();

    bool measuring = false;
    long paints = 0;
    qint64 lastKey = 0;
    std::vector<double> latenciesMs;
    // Queued after the panel's own connection, so this runs right after Video_GetPic.
    QObject::connect(Widget::instance(), &Widget::updatImage, &app, [&] {
        const QPixmap shown = preview->pixmap(Qt::ReturnByValue);
        if (shown.isNull() || shown.cacheKey() == lastKey)
            return;
        lastKey = shown.cacheKey();
        if (!measuring)
            return;
        ++paints;
        latenciesMs.push_back((nowNs() - s_pendingCaptureNs.load()) / 1e6);
    });

    QElapsedTimer wall;
    double cpuStart = 0;
    const auto finish = [&] {
        QMetaObject::invokeMethod(window.findChild<QWidget*>(QStringLiteral("Dialog")), "closeVieo", Q_ARG(bool, false));
        fflush(stdout);
        window.close();
    };

    QTemporaryDir photoDir;
    std::vector<double> clickToFileMs;
    std::vector<double> photoFrameMs;
    std::atomic<long long> fileDoneNs{0};
    long long clickNs = 0;
    // Direct: stamped on the capture thread the moment the file is complete.
    QObject::connect(Widget::instance(), &Widget::signal_SavePic, &app,
                     [&](const QString&) { fileDoneNs = nowNs(); }, Qt::DirectConnection);

    if (photoRun) {
        window.findChild<QLineEdit*>(QStringLiteral("lineEdit"))->setText(photoDir.path());
        auto* button = window.findChild<QPushButton*>(QStringLiteral("TakePhoto"));
        auto* poll = new QTimer(&app);
        QObject::connect(poll, &QTimer::timeout, &app, [&] {
            if (clickNs != 0 && fileDoneNs.load() == 0)
                return; // waiting for the file
            if (clickNs != 0) {
                clickToFileMs.push_back((fileDoneNs.load() - clickNs) / 1e6);
                photoFrameMs.push_back(s_photoFrameNs.load() / 1e6);
            }
            if (clickToFileMs.size() == 10) {
                poll->stop();
                std::sort(clickToFileMs.begin(), clickToFileMs.end());
                std::sort(photoFrameMs.begin(), photoFrameMs.end());
                printf("%-5s %-10s deskew=%d  photo as JPG: click-to-file median=%.1f ms (max %.1f)  "
                       "frame handling with the save median=%.1f ms\n",
                       argv[1], argv[2], int(deskew), clickToFileMs[5], clickToFileMs.back(), photoFrameMs[5]);
                finish();
                return;
            }
            fileDoneNs = 0;
            clickNs = nowNs();
            button->click();
        });
        QTimer::singleShot(1500, &app, [poll] { poll->start(150); });
    } else if (memoryRun) {
        double rss500 = 0;
        auto* poll = new QTimer(&app);
        QObject::connect(poll, &QTimer::timeout, &app, [&] {
            const long frames = s_framesDelivered.load();
            if (rss500 == 0 && frames >= 500)
                rss500 = residentMb();
            if (frames >= 5000) {
                poll->stop();
                const double rss5000 = residentMb();
                printf("%-5s %-10s deskew=%d  rss@500=%.1f MB  rss@5000=%.1f MB  growth=%+.1f MB\n", argv[1], argv[2],
                       int(deskew), rss500, rss5000, rss5000 - rss500);
                finish();
            }
        });
        poll->start(5);
    } else {
        QTimer::singleShot(1500, &app, [&] { // warm-up: the stream settles
            measuring = true;
            wall.start();
            cpuStart = cpuSeconds();
            s_framesDelivered = 0;
        });
        QTimer::singleShot(1500 + seconds * 1000, &app, [&] {
            const double elapsed = wall.nsecsElapsed() / 1e9;
            const double cpu = (cpuSeconds() - cpuStart) / elapsed;
            std::sort(latenciesMs.begin(), latenciesMs.end());
            const double median = latenciesMs.empty() ? -1 : latenciesMs[latenciesMs.size() / 2];
            printf("%-5s %-10s deskew=%d  camera=%.1f fps  painted=%.1f fps  latency median=%.1f ms  cpu=%.2f cores  rss=%.1f MB\n",
                   argv[1], argv[2], int(deskew), s_framesDelivered.load() / elapsed, paints / elapsed, median, cpu,
                   residentMb());
            finish();
        });
    }
    return app.exec();
}
