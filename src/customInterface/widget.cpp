#include "customInterface/widget.h"

#include "customInterface/widgetprivate.h"

#include <QCoreApplication>
#include <QWidget>

Widget* Widget::instance()
{
    static Widget* const s_instance = new Widget(QCoreApplication::instance());
    return s_instance;
}

Widget::Widget(QObject* parent)
    : QObject(parent)
    , m_Private(new WidgetPrivate(this))
{
}

Widget::~Widget() = default;

void Widget::initializePrivate()
{
    if (m_Private.isNull())
        m_Private.reset(new WidgetPrivate(this));
}

void Widget::setWidgetType(Widget::Type destinationType, Widget::Type requestType, const QString& status)
{
    initializePrivate();
    WidgetPrivate* d = m_Private.data();
    if (status == WidgetStatus::Show)
        d->M_Type = destinationType;
    if (d->m_PreemptiveType == T_Undefine || destinationType == d->m_PreemptiveType)
        emit onWidgetTypeChange(destinationType, requestType, status);
    else
        d->m_HolderType = destinationType;
}

void Widget::acquireWidgetType(Widget::Type type)
{
    initializePrivate();
    WidgetPrivate* d = m_Private.data();
    if (d->m_PreemptiveType != T_Undefine || type == T_Undefine)
        return;
    d->m_HolderType = d->M_Type;
    d->m_PreemptiveType = type;
    emit onWidgetTypeChange(type, d->M_Type, WidgetStatus::RequestShow);
}

void Widget::releaseWidgetType(Widget::Type type)
{
    initializePrivate();
    WidgetPrivate* d = m_Private.data();
    if (d->m_PreemptiveType == T_Undefine || type != d->m_PreemptiveType)
        return;
    d->m_PreemptiveType = T_Undefine;
    emit onWidgetTypeChange(d->m_HolderType, d->M_Type, WidgetStatus::RequestShow);
}

Widget::Type Widget::currentWidgetType() const
{
    return m_Private->M_Type;
}

void Widget::setUpdatImage()
{
    emit updatImage();
}

void Widget::setSavePic(const QString& pixData)
{
    emit signal_SavePic(pixData);
}

QRect Widget::geometryFit(int x, int y, int w, int h, QWidget* widget)
{
    initializePrivate();
    const float wf = m_Private->m_WidthScalabilityFactor;
    const float hf = m_Private->m_HeightScalabilityFactor;
    const int sx = static_cast<int>(static_cast<float>(x) * wf);
    const int sy = static_cast<int>(static_cast<float>(y) * hf);
    const int sw = static_cast<int>(static_cast<float>(w) * wf);
    const int sh = static_cast<int>(static_cast<float>(h) * hf);
    if (widget) {
        widget->move(sx, sy);
        widget->setFixedSize(sw, sh);
    }
    return QRect(sx, sy, sw, sh);
}

float Widget::widthScalabilityFactor()
{
    initializePrivate();
    return m_Private->m_WidthScalabilityFactor;
}

float Widget::heightScalabilityFactor()
{
    initializePrivate();
    return m_Private->m_HeightScalabilityFactor;
}

void Widget::slot_WidgetTypeChange(Widget::Type destinationType, Widget::Type, const QString&)
{
    m_Private->M_Type = destinationType;
}
