// Helpers of the application and fault tests.
#ifndef TAVIK_APP_TESTSUPPORT_H
#define TAVIK_APP_TESTSUPPORT_H

#include "camera_testing.h"
#include "camerawidget.h"
#include "framepipeline.h"
#include "searchablepdfswitch.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMutex>
#include <QThreadPool>
#include <QtTest>

#include <thread>

namespace TestSupport {

// Keeps the machine's own cameras out of a test; the virtual camera is listed
// only when asked for.
inline void onlyVirtualCamera(bool listVirtualCamera)
{
    listVirtualCamera ? qputenv("TAVIK_VIRTUAL_CAMERA", "1") : qunsetenv("TAVIK_VIRTUAL_CAMERA");
    const char* const nowhere[] = {"/nonexistent/tavik-video0"};
    TavikCam_SetDeviceNodes(nowhere, 1);
}

inline QByteArray jpegOf(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    image.save(&buffer, "JPG", 90);
    return bytes;
}

inline QImage filled(int w, int h, QColor colour)
{
    QImage image(w, h, QImage::Format_RGB888);
    image.fill(colour);
    return image;
}

// Hands one frame over from a thread of its own, as the capture library does,
// so the GUI's part waits for the event loop.
inline void feed(const QByteArray& frame, bool throughCallback = false)
{
    auto* bytes = reinterpret_cast<unsigned char*>(const_cast<char*>(frame.constData()));
    const auto len = static_cast<unsigned long>(frame.size());
    std::thread([=] { throughCallback ? viewCallck(bytes, len) : setRgbData(bytes, len); }).join();
}

// Ends what the panel runs on other threads (capture, the recognition
// check, Qt's pool) before the process's statics go: a test's panel is never
// destroyed, since that ends the process, and a thread still ending while the
// process exits can break the leak check.
inline void windDown(QObject* panel)
{
    QMetaObject::invokeMethod(panel, "closeVieo", Q_ARG(bool, false));
    if (auto* pdf = panel->findChild<SearchablePdfSwitch*>())
        pdf->stop();
    QThreadPool::globalInstance()->waitForDone();
}

// Runs the GUI's part for every queued frame.
inline void drain(cameraWidget* panel)
{
    while (!g_imageQueue.isEmpty())
        panel->Video_GetPic();
    g_currentInfo.getImageOk = false;
}

// True once label shows a pixmap painted after this call.
inline bool waitForNewFrame(QLabel* label)
{
    const auto key = [label] { const QPixmap p = label->pixmap(Qt::ReturnByValue); return p.isNull() ? 0 : p.cacheKey(); };
    const qint64 before = key();
    return QTest::qWaitFor([&] { return key() != 0 && key() != before; }, 5000);
}

// Presses Ok on every modal message box (one inside another too), recording
// titles and texts.
struct BoxCloser : QObject {
    QStringList titles;
    QStringList texts;
    QTimer poll;
    BoxCloser()
    {
        connect(&poll, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                titles << box->windowTitle();
                texts << box->text();
                box->accept();
            }
        });
        poll.start(10);
    }
};

// Collects log lines while alive.
struct LogCapture {
    static inline QMutex lock; // guards lines: the capture thread may log too
    static inline QStringList lines;
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& line) {
        QMutexLocker locker(&lock);
        lines << line;
    });
    ~LogCapture()
    {
        qInstallMessageHandler(previous);
        QMutexLocker locker(&lock);
        lines.clear(); // the next capture starts empty
    }
    int countContaining(const QString& part) const
    {
        QMutexLocker locker(&lock);
        return lines.filter(part).size();
    }
};

// Every entry of dir, hidden ones (a save's temporary file) included.
inline QStringList entriesOf(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace TestSupport

#endif // TAVIK_APP_TESTSUPPORT_H
