#include "cameraaccess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace {

// The preview label shows rich text, hence <br/> for the line break.
const char* const kNoCameraHint = QT_TRANSLATE_NOOP("Dialog", "未找到摄像头，请连接后点击“初始化摄像头数据”");
const char* const kNoPermissionHint = QT_TRANSLATE_NOOP(
    "Dialog", "已发现摄像头，但当前用户无权打开。<br/>请把用户加入“video”组（sudo usermod -aG video 用户名），然后重新登录。");
const char* const kOpenFailedHint = QT_TRANSLATE_NOOP(
    "Dialog", "摄像头无法打开。<br/>它可能正被其他程序使用：请关闭那个程序，或重新插拔摄像头。");

QString g_deviceFolder = QStringLiteral("/dev");

} // namespace

namespace CameraAccess {

bool mayOpenForCapture(const QString& path)
{
    return access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0;
}

NodeState nodeState(const QString& devDir, const OpenCheck& mayOpen)
{
    const QDir dir(devDir);
    const QStringList nodes =
        dir.entryList({QStringLiteral("video*")}, QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    if (nodes.isEmpty())
        return NodeState::NoNodes;
    for (const QString& node : nodes) {
        if (mayOpen(dir.filePath(node)))
            return NodeState::Openable;
    }
    return NodeState::NoPermission;
}

QString emptyListHint(NodeState state)
{
    return QCoreApplication::translate("Dialog", state == NodeState::NoPermission ? kNoPermissionHint : kNoCameraHint);
}

QString openFailedHint(const QString& devicePath, const OpenCheck& mayOpen)
{
    // Only a node on disk can lack permission; the virtual camera has none.
    const bool refused = QFileInfo::exists(devicePath) && !mayOpen(devicePath);
    return QCoreApplication::translate("Dialog", refused ? kNoPermissionHint : kOpenFailedHint);
}

QString deviceFolder()
{
    return g_deviceFolder;
}

void setDeviceFolder(const QString& folder)
{
    g_deviceFolder = folder;
}

} // namespace CameraAccess
