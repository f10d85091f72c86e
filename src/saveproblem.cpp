#include "saveproblem.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <sys/statvfs.h>
#include <unistd.h>

namespace SaveProblems {

namespace {

// Less room than this after a failed write is a full disk: a write fails for
// want of room only once (nearly) all of it is taken.
constexpr qint64 kFullBelowBytes = 256 * 1024;

qint64 freeBytes(const QString& folder)
{
    struct statvfs fs;
    if (statvfs(QFile::encodeName(folder).constData(), &fs) != 0)
        return -1;
    return static_cast<qint64>(fs.f_bavail) * static_cast<qint64>(fs.f_frsize);
}

} // namespace

SaveProblem diagnose(const QString& folder, const QString& name)
{
    if (!QFileInfo(folder).isDir())
        return SaveProblem::FolderMissing;
    // access() rather than the mode bits: it also knows read-only mounts.
    if (access(QFile::encodeName(folder).constData(), W_OK) != 0)
        return SaveProblem::FolderNotWritable;
    const qint64 room = freeBytes(folder);
    if (room >= 0 && room < kFullBelowBytes)
        return SaveProblem::DiskFull;
    if (name.contains(QLatin1Char(':')))
        return SaveProblem::NameRefused;
    return SaveProblem::WriteFailed;
}

QString describe(SaveProblem problem)
{
    switch (problem) {
    case SaveProblem::None: return QString();
    case SaveProblem::NoPicture: return QCoreApplication::translate("Dialog", "画面无法解码");
    case SaveProblem::FolderMissing: return QCoreApplication::translate("Dialog", "文件夹不存在");
    case SaveProblem::FolderNotWritable: return QCoreApplication::translate("Dialog", "文件夹不可写");
    case SaveProblem::DiskFull: return QCoreApplication::translate("Dialog", "磁盘已满");
    case SaveProblem::NameRefused: return QCoreApplication::translate("Dialog", "文件名不被该磁盘接受");
    case SaveProblem::WriteFailed: break;
    }
    return QCoreApplication::translate("Dialog", "写入失败");
}

} // namespace SaveProblems
