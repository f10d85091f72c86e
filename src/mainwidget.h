#ifndef TAVIK_MAINWIDGET_H
#define TAVIK_MAINWIDGET_H

#include <QWidget>

class cameraWidget;
class idcardwidget;

// The top-level window: stacks the camera panel over the ID-card panel and
// keeps both at the window's size. Which one shows is the panels' business
// (through the coordinator). GUI thread only.
class MainWidget : public QWidget
{
    Q_OBJECT

public:
    // Builds the camera panel, which opens the first camera; a missing
    // image-processing library ends the process with status 1 in here.
    explicit MainWidget(QWidget* parent = nullptr);
    // Never returns in practice: the camera panel's destructor ends the process.
    ~MainWidget() override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    cameraWidget* camerawidget;      // Qt child
    idcardwidget* m_idcardwidget;    // Qt child
};

#endif // TAVIK_MAINWIDGET_H
