#include "customInterface/widgetprivate.h"

WidgetPrivate::WidgetPrivate(Widget* parent)
    : m_Rcc(QStringLiteral("/usr/share/Launcher/WSVGA/WSVGA.rcc"))
    , m_Parent(parent)
{
}
