#include "captureflash.h"

#include <QEvent>
#include <QPainter>
#include <QTimer>

namespace {
constexpr int kBorder = 6;
}

CaptureFlash::CaptureFlash(QWidget* over)
    : QWidget(over)
    , m_hideTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("frame_captureFlash"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    hide();
    m_hideTimer->setSingleShot(true);
    m_hideTimer->setInterval(kShownMs);
    connect(m_hideTimer, &QTimer::timeout, this, &QWidget::hide);
    over->installEventFilter(this);
}

void CaptureFlash::flash()
{
    setGeometry(parentWidget()->rect());
    show();
    raise();
    m_hideTimer->start();
}

void CaptureFlash::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QPen pen(QColor(255, 255, 255, 230), kBorder);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.drawRect(rect().adjusted(kBorder / 2, kBorder / 2, -kBorder / 2, -kBorder / 2));
}

bool CaptureFlash::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parent() && event->type() == QEvent::Resize && isVisible())
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}
