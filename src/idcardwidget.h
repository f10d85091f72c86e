#ifndef TAVIK_IDCARDWIDGET_H
#define TAVIK_IDCARDWIDGET_H

#include "customInterface/widget.h"

#include <QWidget>

class QFormLayout;
class QLabel;
class QPushButton;
class QTimer;

// The ID-card panel: a column of identity-card fields. Nothing in this system
// reads a card, so the value labels stay empty. GUI thread only.
class idcardwidget : public QWidget
{
    Q_OBJECT

public:
    explicit idcardwidget(QWidget* parent = nullptr);
    ~idcardwidget() override;

    // Clears the values and starts polling every 300 ms (the card reader's hook).
    void startGetIdData();
    void showIdData(int);

public slots:
    void onTimeout();
    // "切换高拍仪" hands the screen back to the camera panel; "开始扫描" does nothing.
    void onBtPress();
    void onWidgetTypeChange(Widget::Type destinationType, Widget::Type requestType, const QString& status);

private:
    QPushButton* m_backBt;
    QPushButton* m_getInfoBt;
    QFormLayout* m_formLayout;
    QTimer* m_timer;
    QLabel* m_labelName;
    QLabel* m_labelGender;
    QLabel* m_labelNational;
    QLabel* m_labelBirthday;
    QLabel* m_labelAddress;
    QLabel* m_labelCardNumber;
    QLabel* m_labelMaker;
    QLabel* m_labelStartdate;
    QLabel* m_labelEnddate;
};

#endif // TAVIK_IDCARDWIDGET_H
