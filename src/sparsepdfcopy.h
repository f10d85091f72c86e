#ifndef TAVIK_SPARSEPDFCOPY_H
#define TAVIK_SPARSEPDFCOPY_H

#include <QByteArray>
#include <QIODevice>
#include <QMap>

// A write-only device in front of the real output: every byte goes on to
// the target, and the small writes (a PDF's objects, tables and trailer) are
// also kept, while the large ones (picture data) are only counted. The
// document's structure can then be read back and added to without holding
// its pictures in memory. Open it WriteOnly | Unbuffered, so that each write
// arrives whole.
//
// One thread at a time.
class SparsePdfCopy : public QIODevice
{
public:
    // target: open for writing, owned by the caller, outliving this device.
    explicit SparsePdfCopy(QIODevice* target, qint64 keepBelow = 64 * 1024);

    bool isSequential() const override { return true; }
    // Bytes written so far (the document's length).
    qint64 written() const { return m_written; }
    // The bytes kept from offset on, at most length of them; shorter (or
    // empty) where a large write was dropped or the document ends.
    QByteArray at(qint64 offset, qint64 length) const;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 length) override;

private:
    QIODevice* m_target;
    const qint64 m_keepBelow;
    qint64 m_written = 0;
    QMap<qint64, QByteArray> m_kept; // runs of kept bytes by their offset
};

#endif // TAVIK_SPARSEPDFCOPY_H
