// QT_QPA_GENERIC_PLUGINS=tavikwindowcloser:MS: after MS ms, prints the window
// title and library paths, then closes the window as a window manager does.
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
    printf("imageproc=%s\ncamera=%s\nocr=%s\n", mappedFrom("libImageProc.so").constData(),
           mappedFrom("libcamera.so").constData(), mappedFrom("libTavikOcr.so").constData());
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
