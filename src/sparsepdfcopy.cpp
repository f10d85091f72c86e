#include "sparsepdfcopy.h"

SparsePdfCopy::SparsePdfCopy(QIODevice* target, qint64 keepBelow)
    : m_target(target)
    , m_keepBelow(keepBelow)
{
}

qint64 SparsePdfCopy::writeData(const char* data, qint64 length)
{
    const qint64 done = m_target->write(data, length);
    if (done != length)
        return -1;
    if (length < m_keepBelow) {
        auto last = m_kept.end();
        if (last != m_kept.begin() && (--last).key() + last.value().size() == m_written)
            last.value().append(data, int(length));
        else
            m_kept.insert(m_written, QByteArray(data, int(length)));
    }
    m_written += length;
    return length;
}

QByteArray SparsePdfCopy::at(qint64 offset, qint64 length) const
{
    auto run = m_kept.upperBound(offset);
    if (run == m_kept.begin())
        return QByteArray();
    --run;
    const qint64 into = offset - run.key();
    if (into >= run.value().size())
        return QByteArray();
    return run.value().mid(int(into), int(qMin<qint64>(length, run.value().size() - into)));
}
