#include "application.h"

#include "customInterface/parameter.h"
#include "customInterface/widget.h"
#include "mainwidget.h"

#include <QApplication>

std::unique_ptr<MainWidget> showMainWindow()
{
    // The capture thread reaches the coordinator for every frame: it must be
    // born here, in the GUI thread, before any camera opens.
    Widget::instance();

    auto window = std::make_unique<MainWidget>();
    window->setWindowTitle(Parameter::instance()->m_softVersion);
    window->show();
    return window;
}

int runApplication(int argc, char** argv, const std::function<void(MainWidget&)>& afterShow)
{
    QApplication app(argc, argv);
    const std::unique_ptr<MainWidget> window = showMainWindow();
    if (afterShow)
        afterShow(*window);
    return app.exec();
}
