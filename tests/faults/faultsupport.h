// Helpers of the fault-injection tests: frames handed over on a thread of
// their own, a closer that counts the panel's message boxes by text, and the
// mount tricks that make a save folder fail even for root.
#ifndef TAVIK_FAULTSUPPORT_H
#define TAVIK_FAULTSUPPORT_H

#include "framepipeline.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

namespace FaultSupport {

// Hands one frame to the pipeline from a thread of its own, as the capture
// library does; the GUI's part waits for the event loop.
inline void feed(const QByteArray& frame)
{
    auto* bytes = reinterpret_cast<unsigned char*>(const_cast<char*>(frame.constData()));
    const auto len = static_cast<unsigned long>(frame.size());
    std::thread capture([=] { setRgbData(bytes, len); });
    capture.join();
}

// Presses Ok on every modal message box, counting them by text, for slots
// that show one (possibly one inside another) during a test.
class BoxCounter : public QObject
{
public:
    BoxCounter()
    {
        connect(&m_poll, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            texts << box->text();
            box->accept();
        });
        m_poll.start(10);
    }
    int count(const QString& text) const { return texts.count(text); }
    int countStartingWith(const QString& start) const
    {
        int n = 0;
        for (const QString& t : texts)
            n += t.startsWith(start) ? 1 : 0;
        return n;
    }

    QStringList texts;

private:
    QTimer m_poll;
};

inline const QString kCameraLost = QStringLiteral("摄像头已拔出");

// Puts the process in a mount namespace of its own, so that the mounts of a
// test vanish with it. False where the machine allows no mount namespace.
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

// Turns dir into a read-only view of itself (root cannot write there either).
inline bool makeReadOnly(const QString& dir)
{
    const QByteArray path = QFile::encodeName(dir);
    if (mount(path.constData(), path.constData(), nullptr, MS_BIND, nullptr) != 0)
        return false;
    return mount(nullptr, path.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
}

inline bool unmount(const QString& dir)
{
    return umount2(QFile::encodeName(dir).constData(), MNT_DETACH) == 0;
}

// Writes path until the filesystem holding it has no room left.
inline bool fillUp(const QString& path)
{
    const int fd = open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const QByteArray chunk(4096, 'x');
    while (write(fd, chunk.constData(), chunk.size()) > 0) {
    }
    // The last partial page.
    while (write(fd, "x", 1) > 0) {
    }
    close(fd);
    return true;
}

// Every entry of dir, hidden ones (a save's temporary file) included.
inline QStringList entriesOf(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace FaultSupport

#endif // TAVIK_FAULTSUPPORT_H
