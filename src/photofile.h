/*
 * Photo files: their names, their rotation and writing them safely.
 *
 * Threads: pure functions without shared state, safe on any thread; the
 * capture thread calls them while it saves a photo.
 */
#ifndef TAVIK_PHOTOFILE_H
#define TAVIK_PHOTOFILE_H

#include "saveproblem.h"

#include <QDateTime>
#include <QImage>
#include <QString>

namespace PhotoFile {

// 0 "jpg", 1 "bmp", 2 "png"; any other index "jpg".
QString suffixForIndex(int picIndex);

// folder + "/" + stamp "yyyy-MM-dd_hh:mm:ss.z" + "." + suffix. The folder is
// taken as it is (a trailing "/" doubles the separator) and created nowhere.
QString fileName(const QString& folder, int picIndex, const QDateTime& when);

// The image turned clockwise by angle degrees with smooth filtering;
// 0 returns the image unchanged.
QImage rotated(const QImage& image, int angle);

// A black-and-white picture at one bit a pixel with its colours in the order
// black, white (the order QPdfWriter keeps 1-bit); a 1-bit picture of other
// colours and deeper pictures as they are.
QImage blackThenWhite(const QImage& picture);

// The name a folder that refuses ':' gets instead: the same stamp with each
// ':' of the file-name part replaced by '-' (2026-12-05_22-01-26.5.jpg).
QString portableName(const QString& path);

// Writes image to path in the format of its suffix at the writer's default
// quality, through a temporary file renamed into place when complete: a
// failure never leaves a file (partial or not) under path.
// Returns false, with one debug line naming the file and the reason, and the
// cause in *problem when given.
bool save(const QImage& image, const QString& path, SaveProblem* problem = nullptr);

// Saves a photo under fileName(folder, picIndex, when); where the folder's
// file system refuses that name (NTFS or exFAT drives refuse ':'), under its
// portableName instead. *savedPath is the name written, or the one meant
// when nothing could be.
SaveProblem saveStamped(const QImage& image, const QString& folder, int picIndex, const QDateTime& when,
                        QString* savedPath);

} // namespace PhotoFile

#endif
