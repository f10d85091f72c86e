// Loaded by Qt into the installed program (QT_QPA_GENERIC_PLUGINS=
// tavikwindowcloser:MS): MS ms after start-up it prints the shown window's
// title and where the two libraries were mapped from, then closes the window
// as a window manager does, so the exit status is the program's own.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QGenericPlugin>
#include <QGuiApplication>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <unistd.h>

namespace {

// The file a library whose name ends in fileName was mapped from, or "none".
QByteArray mappedFrom(const QByteArray& fileName)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly | QIODevice::Text))
        return QByteArrayLiteral("none");
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const int slash = line.indexOf('/');
        if (slash >= 0 && line.endsWith('/' + fileName))
            return line.mid(slash);
    }
    return QByteArrayLiteral("none");
}

void reportAndClose()
{
    QWindow* shown = nullptr;
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (window->isVisible())
            shown = window;
    }
    printf("window=%s\n", shown ? shown->title().toUtf8().constData() : "none");
    printf("imageproc=%s\ncamera=%s\n", mappedFrom("libImageProc.so").constData(),
           mappedFrom("libcamera.so").constData());
    fflush(stdout);
    if (!shown)
        _exit(3);
    QCloseEvent close;
    QCoreApplication::sendEvent(shown, &close);
}

} // namespace

class WindowCloserPlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "window_closer.json")

public:
    // GUI thread. The application object deletes the returned timer.
    QObject* create(const QString& key, const QString& parameter) override
    {
        if (key.compare(QLatin1String("tavikwindowcloser"), Qt::CaseInsensitive) != 0)
            return nullptr;
        bool ok = false;
        const int delayMs = parameter.toInt(&ok);
        auto* timer = new QTimer;
        timer->setSingleShot(true);
        QObject::connect(timer, &QTimer::timeout, reportAndClose);
        timer->start(ok ? delayMs : 2000);
        return timer;
    }
};

#include "window_closer_plugin.moc"
