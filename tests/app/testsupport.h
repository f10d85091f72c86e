// Helpers shared by the application tests: tiny frames of known pixels and a
// closer for the panel's modal message boxes.
#ifndef TAVIK_APP_TESTSUPPORT_H
#define TAVIK_APP_TESTSUPPORT_H

#include "camera_testing.h"
#include "camerawidget.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QMessageBox>
#include <QMutex>
#include <QMutexLocker>
#include <QPainter>
#include <QTimer>

#include <functional>

namespace TestSupport {

// Keeps the machine's own cameras out of a test: the library looks at a node
// that does not exist, and lists the virtual camera only when asked to.
inline void onlyVirtualCamera(bool listVirtualCamera)
{
    if (listVirtualCamera)
        qputenv("TAVIK_VIRTUAL_CAMERA", "1");
    else
        qunsetenv("TAVIK_VIRTUAL_CAMERA");
    const char* const nowhere[] = {"/nonexistent/tavik-video0"};
    TavikCam_SetDeviceNodes(nowhere, 1);
}

// A camera panel at its form size with no camera at all, shown. Never
// deleted: its destructor ends the process.
inline cameraWidget* panelWithoutCamera()
{
    onlyVirtualCamera(false);
    auto* panel = new cameraWidget(nullptr);
    panel->resize(1249, 561);
    panel->show();
    return panel;
}

inline QByteArray jpegOf(const QImage& image, int quality = 90)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", quality);
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
    QByteArray bytes;
    bytes.reserve(w * h * 2);
    for (int i = 0; i < w * h / 2; ++i) {
        bytes.append(char(y));
        bytes.append(char(u));
        bytes.append(char(y));
        bytes.append(char(v));
    }
    return bytes;
}

// A document scene: a white page of pageW x pageH, turned by a few degrees,
// on a dark desk, filling most of a w x h frame.
inline QImage documentScene(int w, int h, int pageW, int pageH, qreal degrees = 4)
{
    QImage image(w, h, QImage::Format_RGB888);
    image.fill(QColor(45, 40, 38));
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

// Watches for the next modal message box, records its title and text and
// presses its default (Ok) button, so a slot that shows one can run in a test.
class MessageBoxCloser : public QObject
{
public:
    MessageBoxCloser()
    {
        connect(&m_poll, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            title = box->windowTitle();
            text = box->text();
            ++count;
            box->accept();
        });
        m_poll.start(20);
    }

    QString title;
    QString text;
    int count = 0;

private:
    QTimer m_poll;
};

// Collects debug lines while alive.
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
    QStringList lines() const
    {
        QMutexLocker locker(&s_lock);
        return s_lines;
    }
    int countContaining(const QString& part) const { return lines().filter(part).size(); }

private:
    static inline QMutex s_lock; // guards s_lines: the capture thread may log too
    static inline QStringList s_lines;
    QtMessageHandler m_previous;
};

} // namespace TestSupport

#endif // TAVIK_APP_TESTSUPPORT_H
