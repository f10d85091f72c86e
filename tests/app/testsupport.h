// Helpers of the application and fault tests.
#ifndef TAVIK_APP_TESTSUPPORT_H
#define TAVIK_APP_TESTSUPPORT_H

#include "camera_testing.h"
#include "camerawidget.h"
#include "framepipeline.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QMutex>
#include <QPainter>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

namespace TestSupport {

// Keeps the machine's own cameras out of a test; the virtual camera is listed
// only when asked for.
inline void onlyVirtualCamera(bool listVirtualCamera)
{
    if (listVirtualCamera)
        qputenv("TAVIK_VIRTUAL_CAMERA", "1");
    else
        qunsetenv("TAVIK_VIRTUAL_CAMERA");
    const char* const nowhere[] = {"/nonexistent/tavik-video0"};
    TavikCam_SetDeviceNodes(nowhere, 1);
}

// A shown camera panel at its form size with no camera. Never deleted: its
// destructor ends the process.
inline cameraWidget* panelWithoutCamera()
{
    onlyVirtualCamera(false);
    auto* panel = new cameraWidget(nullptr);
    panel->resize(1249, 561);
    panel->show();
    return panel;
}

inline QByteArray jpegOf(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 90);
    return bytes;
}

inline QImage filled(int w, int h, QColor colour)
{
    QImage image(w, h, QImage::Format_RGB888);
    image.fill(colour);
    return image;
}

// Packed YUYV of one colour: every pixel pair is (y, u, y, v).
inline QByteArray yuyvOf(int w, int h, int y, int u, int v)
{
    const char pair[] = {char(y), char(u), char(y), char(v)};
    return QByteArray(pair, 4).repeated(w * h / 2);
}

// A white page of pageW x pageH with a few text lines, turned by a few degrees
// on a dark desk in a w x h frame.
inline QImage documentScene(int w, int h, int pageW, int pageH, qreal degrees = 4)
{
    QImage image = filled(w, h, QColor(45, 40, 38));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(w / 2.0, h / 2.0);
    p.rotate(degrees);
    p.fillRect(QRectF(-pageW / 2.0, -pageH / 2.0, pageW, pageH), QColor(245, 245, 240));
    p.setPen(QPen(QColor(30, 30, 30), qMax(2, w / 200)));
    for (int line = 1; line < 8; ++line) {
        const qreal y = -pageH / 2.0 + pageH * line / 9.0;
        p.drawLine(QPointF(-pageW * 0.4, y), QPointF(pageW * 0.3, y));
    }
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

// True once label shows a pixmap painted after this call.
inline bool waitForNewFrame(QLabel* label, int timeoutMs = 5000)
{
    const auto key = [label] { const QPixmap p = label->pixmap(Qt::ReturnByValue); return p.isNull() ? 0 : p.cacheKey(); };
    const qint64 before = key();
    return QTest::qWaitFor([&] { return key() != 0 && key() != before; }, timeoutMs);
}

// Runs the GUI's part for every queued frame.
inline void drain(cameraWidget* panel)
{
    while (!g_imageQueue.isEmpty())
        panel->Video_GetPic();
    g_currentInfo.getImageOk = false;
}

// Presses Ok on every modal message box (one inside another too), recording
// titles and texts.
class BoxCloser : public QObject
{
public:
    BoxCloser()
    {
        connect(&m_poll, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                titles << box->windowTitle();
                texts << box->text();
                box->accept();
            }
        });
        m_poll.start(10);
    }
    int countStartingWith(const QString& start) const
    {
        return int(std::count_if(texts.begin(), texts.end(), [&](const QString& t) { return t.startsWith(start); }));
    }

    QStringList titles;
    QStringList texts;

private:
    QTimer m_poll;
};

// Collects log lines while alive.
class LogCapture
{
public:
    LogCapture()
    {
        s_lines.clear();
        m_previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& msg) {
            QMutexLocker locker(&s_lock);
            s_lines << msg;
        });
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    int countContaining(const QString& part) const
    {
        QMutexLocker locker(&s_lock);
        return s_lines.filter(part).size();
    }

private:
    static inline QMutex s_lock; // guards s_lines: the capture thread may log too
    static inline QStringList s_lines;
    QtMessageHandler m_previous;
};

// Every entry of dir, hidden ones (a save's temporary file) included.
inline QStringList entriesOf(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// A mount namespace of the process's own, so a test's mounts vanish with it.
// False where the machine allows none.
inline bool privateMounts()
{
    static const bool ok = unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return ok;
}

inline bool mountTmpfs(const QString& dir, const char* size)
{
    const QByteArray options = QByteArray("size=") + size;
    return mount("tmpfs", QFile::encodeName(dir).constData(), "tmpfs", 0, options.constData()) == 0;
}

// A read-only view of dir over itself: root cannot write there either.
inline bool makeReadOnly(const QString& dir)
{
    const QByteArray path = QFile::encodeName(dir);
    return mount(path.constData(), path.constData(), nullptr, MS_BIND, nullptr) == 0 &&
           mount(nullptr, path.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
}

inline bool unmount(const QString& dir) { return umount2(QFile::encodeName(dir).constData(), MNT_DETACH) == 0; }

// Writes path until its filesystem has no room left, the last partial page too.
inline bool fillUp(const QString& path)
{
    const int fd = open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const QByteArray chunk(4096, 'x');
    while (write(fd, chunk.constData(), chunk.size()) > 0) {
    }
    while (write(fd, "x", 1) > 0) {
    }
    close(fd);
    return true;
}

} // namespace TestSupport

#endif // TAVIK_APP_TESTSUPPORT_H
