#include "desktopopener.h"

#include <QDebug>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace DesktopOpener {

bool open(const QString& path)
{
    if (path.isEmpty())
        return false;
    // Everything the new process needs is made here, before it exists: a
    // forked child of a threaded process must not allocate before exec (it
    // hangs where another thread held the allocator's lock at the fork), and
    // posix_spawn goes straight to exec.
    const QByteArray program = QFile::encodeName(QStandardPaths::findExecutable(QStringLiteral("xdg-open")));
    if (program.isEmpty()) {
        qDebug().noquote() << "DesktopOpener: no xdg-open to open" << path;
        return false;
    }
    const QByteArray argument = QFile::encodeName(path);
    // setsid -f starts xdg-open in a session of its own and returns at once:
    // xdg-open outlives this program and is never its child to reap, and
    // only the short-lived setsid is waited for here.
    char setsid[] = "/usr/bin/setsid";
    char forkFirst[] = "-f";
    char* argv[] = {setsid, forkFirst, const_cast<char*>(program.constData()), const_cast<char*>(argument.constData()),
                    nullptr};

    // Default signal handling and nothing blocked, as if a launcher had
    // started it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t child = 0;
    const int error = posix_spawn(&child, setsid, nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    int status = 0;
    while (error == 0 && waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (error != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        qDebug().noquote() << "DesktopOpener: cannot start xdg-open for" << path << ":"
                           << (error != 0 ? strerror(error) : "setsid failed");
        return false;
    }
    return true;
}

} // namespace DesktopOpener
