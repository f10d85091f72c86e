/*
 * Hands a file or folder to the desktop's default application.
 *
 * Threads: GUI thread.
 */
#ifndef TAVIK_DESKTOPOPENER_H
#define TAVIK_DESKTOPOPENER_H

#include <QString>

namespace DesktopOpener {

// Starts "xdg-open" (found on PATH) with path as its only argument, without
// a shell and without waiting for it, so any path (blanks, quotes, ";", "$( )", line
// breaks, Chinese, any length) opens exactly that file or folder.
// Returns false, with one debug line, when xdg-open cannot be started.
bool open(const QString& path);

} // namespace DesktopOpener

#endif
