/*
 * Why a photo, a PDF or a deletion failed, in the words the window shows.
 *
 * Threads: any (reads the file system only); the capture thread diagnoses the
 * photos it fails to save.
 */
#ifndef TAVIK_SAVEPROBLEM_H
#define TAVIK_SAVEPROBLEM_H

#include <QMetaType>
#include <QString>

enum class SaveProblem {
    None,              // written
    NoPicture,         // the frame did not decode
    FolderMissing,     // the folder is not there (deleted, drive gone)
    FolderNotWritable, // read-only drive or no permission
    DiskFull,          // less room than the file needs
    NameRefused,       // the folder's file system refuses the name (':' on NTFS, exFAT)
    WriteFailed        // anything else
};

// Crosses threads in queued signals.
Q_DECLARE_METATYPE(SaveProblem)

namespace SaveProblems {

// After writing into folder failed: the likeliest cause, checked in the order
// a user would look (folder there, writable, room left). Call it while the
// partial file still takes its room. NameRefused when the folder is fine but
// name holds a character that some file systems refuse.
SaveProblem diagnose(const QString& folder, const QString& name = QString());

// The cause in plain Chinese, e.g. "文件夹不存在"; empty for None.
QString describe(SaveProblem problem);

} // namespace SaveProblems

#endif
