#ifndef TAVIK_CAMERANODEWATCHER_H
#define TAVIK_CAMERANODEWATCHER_H

#include <QHash>
#include <QObject>
#include <QString>

class QFileSystemWatcher;
class QTimer;

// Notices a camera being plugged in: a "video*" node that appears in the
// device folder, or one replaced or given new permissions since the
// baseline. The folder is watched through inotify (QFileSystemWatcher) only
// between start() and stop(); nothing polls. A change is reported once the
// folder has been quiet for a moment, by when udev has given the node its
// group and the driver has added all of a camera's nodes.
//
// GUI thread only.
class CameraNodeWatcher : public QObject
{
    Q_OBJECT

public:
    static constexpr int kSettleMs = 400;

    CameraNodeWatcher(const QString& folder, QObject* parent);

    // Takes the nodes now present as the ones already known: only later
    // changes count. start() takes one itself unless this came first.
    void markBaseline();
    // Watches until stop(); a node changed since the baseline is reported
    // after the settling time even without a further change.
    void start();
    void stop();
    bool isWatching() const;

signals:
    // New or changed video nodes: time to enumerate the cameras again.
    void nodesChanged();

private slots:
    void onFolderChanged();
    void onSettled();

private:
    // Node name -> identity (inode and change time): a node created again or
    // given new permissions has a new one.
    using Nodes = QHash<QString, QString>;
    Nodes readNodes() const;

    QString m_folder;
    QFileSystemWatcher* m_watcher; // Qt child
    QTimer* m_settle;              // Qt child
    Nodes m_baseline;
    bool m_haveBaseline = false;
};

#endif // TAVIK_CAMERANODEWATCHER_H
