#ifndef TAVIK_SAVEFILECOMMIT_H
#define TAVIK_SAVEFILECOMMIT_H

#include <QSaveFile>

// Renames a completely written QSaveFile into place (any thread). A small
// file stays in Qt's write buffer until the end, and commit() alone does not
// notice that writing it out failed (disk full): flush and check first, so
// that a failure leaves nothing under the final name. On false, errorString()
// says why.
inline bool commitWhole(QSaveFile& file)
{
    if (!file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

#endif
