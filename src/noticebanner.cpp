#include "noticebanner.h"

#include <QEvent>
#include <QTimer>

NoticeBanner::NoticeBanner(QWidget* over)
    : QLabel(over)
    , m_hideTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("label_notice"));
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignCenter);
    setWordWrap(true);
    // Readable over any picture: light text on a dark, half-clear band.
    setStyleSheet(QStringLiteral("QLabel#label_notice { background-color: rgba(40, 40, 40, 215); color: white;"
                                 " border-radius: 6px; padding: 8px 16px; }"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
    m_hideTimer->setSingleShot(true);
    m_hideTimer->setInterval(kShownMs);
    connect(m_hideTimer, &QTimer::timeout, this, &QWidget::hide);
    over->installEventFilter(this);
}

void NoticeBanner::showNotice(const QString& text)
{
    setText(text);
    place();
    show();
    raise();
    m_hideTimer->start();
}

bool NoticeBanner::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parent() && event->type() == QEvent::Resize && isVisible())
        place();
    return QLabel::eventFilter(watched, event);
}

// Centred near the bottom of the preview, on one line where it fits in two
// thirds of the preview's width, wrapped otherwise.
void NoticeBanner::place()
{
    const QWidget* over = parentWidget();
    // A wrapping label's size hint is a guess at a pleasing shape, which
    // breaks even a short line: measure the line unwrapped.
    setWordWrap(false);
    const int oneLine = sizeHint().width();
    setWordWrap(true);
    const int width = qMin(oneLine, over->width() * 2 / 3);
    const int height = heightForWidth(width) > 0 ? heightForWidth(width) : sizeHint().height();
    setGeometry((over->width() - width) / 2, over->height() - height - 24, width, height);
}
