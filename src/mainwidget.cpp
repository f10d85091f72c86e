#include "mainwidget.h"

#include "camerawidget.h"
#include "idcardwidget.h"

#include <QResizeEvent>

MainWidget::MainWidget(QWidget* parent)
    : QWidget(parent)
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(0, 205, 205, 255));
    setPalette(palette);

    camerawidget = new cameraWidget(this);
    camerawidget->show();

    m_idcardwidget = new idcardwidget(this);
    m_idcardwidget->setMinimumSize(camerawidget->width(), camerawidget->height());
    m_idcardwidget->hide();
}

MainWidget::~MainWidget() = default;

void MainWidget::resizeEvent(QResizeEvent* event)
{
    camerawidget->resize(event->size().width(), event->size().height());
    m_idcardwidget->resize(event->size());
}
