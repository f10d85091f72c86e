#ifndef TAVIK_SAVEFILECOMMIT_H
#define TAVIK_SAVEFILECOMMIT_H

#include "saveproblem.h"

#include <QFileInfo>
#include <QSaveFile>

// Renames a completely written QSaveFile into place (any thread). A small
// file stays in Qt's write buffer until the end, and commit() alone does not
// notice that writing it out failed (disk full): flush and check first, so
// that a failure leaves nothing under the final name. On false, errorString()
// says why, and *problem (when given) the cause, found while the partial file
// still takes its room, so that a full disk shows as full.
inline bool commitWhole(QSaveFile& file, SaveProblem* problem = nullptr)
{
    const auto diagnosed = [&] {
        if (problem)
            *problem = SaveProblems::diagnose(QFileInfo(file.fileName()).path());
    };
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        diagnosed();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        diagnosed();
        return false;
    }
    return true;
}

#endif
