#ifndef TAVIK_WIDGETPRIVATE_H
#define TAVIK_WIDGETPRIVATE_H

#include "customInterface/widget.h"

// Switching state of the coordinator. GUI thread only; no lock.
class WidgetPrivate
{
public:
    explicit WidgetPrivate(Widget* parent);
    WidgetPrivate(const WidgetPrivate&) = delete;
    WidgetPrivate& operator=(const WidgetPrivate&) = delete;

    Widget::Type m_PreemptiveType = Widget::T_Undefine; // holder of a preemption, or none
    Widget::Type m_HolderType = Widget::T_Undefine;     // where the screen goes when it ends
    Widget::Type M_Type = Widget::T_camare;             // the panel last confirmed as shown
    QString m_Rcc;                                      // reference-screen resources; kept, unused
    float m_WidthScalabilityFactor = 1.0f;
    float m_HeightScalabilityFactor = 1.0f;
    Widget* m_Parent;
};

#endif // TAVIK_WIDGETPRIVATE_H
