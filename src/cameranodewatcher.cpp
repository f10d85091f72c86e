#include "cameranodewatcher.h"

#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QTimer>

#include <sys/stat.h>

CameraNodeWatcher::CameraNodeWatcher(const QString& folder, QObject* parent)
    : QObject(parent)
    , m_folder(folder)
    , m_watcher(new QFileSystemWatcher(this))
    , m_settle(new QTimer(this))
{
    m_settle->setSingleShot(true);
    m_settle->setInterval(kSettleMs);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &CameraNodeWatcher::onFolderChanged);
    connect(m_settle, &QTimer::timeout, this, &CameraNodeWatcher::onSettled);
}

CameraNodeWatcher::Nodes CameraNodeWatcher::readNodes() const
{
    Nodes nodes;
    const QDir dir(m_folder);
    const QStringList names =
        dir.entryList({QStringLiteral("video*")}, QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        struct stat st;
        if (stat(QFile::encodeName(dir.filePath(name)).constData(), &st) == 0)
            nodes.insert(name, QStringLiteral("%1:%2.%3").arg(st.st_ino).arg(st.st_ctim.tv_sec).arg(st.st_ctim.tv_nsec));
    }
    return nodes;
}

void CameraNodeWatcher::markBaseline()
{
    m_baseline = readNodes();
    m_haveBaseline = true;
}

void CameraNodeWatcher::start()
{
    if (isWatching())
        return;
    if (!m_haveBaseline)
        markBaseline();
    if (!m_watcher->addPath(m_folder))
        qDebug("camera watch: cannot watch %s", qPrintable(m_folder));
    // A camera plugged in between the baseline and now (while a warning was
    // up, say) changed nothing the watch could see.
    onFolderChanged();
}

void CameraNodeWatcher::stop()
{
    if (!m_watcher->directories().isEmpty())
        m_watcher->removePaths(m_watcher->directories());
    m_settle->stop();
    m_haveBaseline = false;
}

bool CameraNodeWatcher::isWatching() const
{
    return !m_watcher->directories().isEmpty();
}

void CameraNodeWatcher::onFolderChanged()
{
    const Nodes now = readNodes();
    bool changed = false;
    for (auto it = now.cbegin(); it != now.cend() && !changed; ++it)
        changed = m_baseline.value(it.key()) != it.value();
    // Nodes that went are forgotten, so that the same name coming back counts.
    for (auto it = m_baseline.begin(); it != m_baseline.end();)
        it = now.contains(it.key()) ? std::next(it) : m_baseline.erase(it);
    if (changed)
        m_settle->start(); // again on every change: report once the folder is quiet
}

void CameraNodeWatcher::onSettled()
{
    if (!isWatching())
        return;
    m_baseline = readNodes();
    emit nodesChanged();
}
