#include "desktopopener.h"

#include <QDebug>
#include <QProcess>
#include <QStringList>

namespace DesktopOpener {

bool open(const QString& path)
{
    if (path.isEmpty())
        return false;
    if (!QProcess::startDetached(QStringLiteral("xdg-open"), QStringList{path})) {
        qDebug().noquote() << "DesktopOpener: cannot start xdg-open for" << path;
        return false;
    }
    return true;
}

} // namespace DesktopOpener
