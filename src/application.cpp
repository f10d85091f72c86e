#include "application.h"

#include "customInterface/parameter.h"
#include "customInterface/widget.h"
#include "mainwidget.h"

#include <QApplication>

int runApplication(int argc, char** argv, const std::function<void(MainWidget&)>& afterShow)
{
    QApplication app(argc, argv);
    // The capture thread reaches the coordinator for every frame: it must be
    // born here, in the GUI thread, before any camera opens.
    Widget::instance();

    MainWidget window;
    window.setWindowTitle(Parameter::instance()->m_softVersion);
    window.show();
    if (afterShow)
        afterShow(window);
    return app.exec();
}
