// Counts the frames the window's preview paints: each new picture shown
// after a frame's notification (GUI thread, header-only for the probes).
#ifndef TAVIK_BENCH_PREVIEWPAINTS_H
#define TAVIK_BENCH_PREVIEWPAINTS_H

#include "customInterface/widget.h"

#include <QLabel>
#include <QObject>
#include <QPixmap>

class PreviewPaints
{
public:
    // preview: the panel's label; context: lives as long as the counting.
    PreviewPaints(QLabel* preview, QObject* context)
    {
        // Queued after the panel's own connection, so this runs right after Video_GetPic.
        QObject::connect(Widget::instance(), &Widget::updatImage, context, [this, preview] {
            const QPixmap shown = preview->pixmap(Qt::ReturnByValue);
            if (shown.isNull() || shown.cacheKey() == m_lastKey)
                return;
            m_lastKey = shown.cacheKey();
            ++m_count;
        });
    }

    long count() const { return m_count; }
    void reset() { m_count = 0; }

private:
    long m_count = 0;
    qint64 m_lastKey = 0;
};

#endif
