#include "idcardwidget.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpacerItem>
#include <QTimer>
#include <QVBoxLayout>

idcardwidget::idcardwidget(QWidget* parent)
    : QWidget(parent)
{
    m_backBt = new QPushButton(QStringLiteral("切换高拍仪"));
    m_getInfoBt = new QPushButton(QStringLiteral("开始扫描"));
    for (QPushButton* button : {m_backBt, m_getInfoBt}) {
        button->setMinimumHeight(60);
        button->setMaximumWidth(100);
    }
    connect(m_backBt, SIGNAL(clicked()), this, SLOT(onBtPress()));
    connect(m_getInfoBt, SIGNAL(clicked()), this, SLOT(onBtPress()));

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_backBt);
    buttons->addWidget(m_getInfoBt);
    buttons->addSpacing(400);

    m_formLayout = new QFormLayout;

    auto* row = new QHBoxLayout;
    row->addLayout(buttons);
    row->addLayout(m_formLayout);
    row->addItem(new QSpacerItem(200, 20, QSizePolicy::Minimum, QSizePolicy::Minimum));
    setLayout(row);

    m_labelName = new QLabel(this);
    m_labelGender = new QLabel(this);
    m_labelNational = new QLabel(this);
    m_labelBirthday = new QLabel(this);
    m_labelAddress = new QLabel(this);
    m_labelCardNumber = new QLabel(this);
    m_labelMaker = new QLabel(this);
    m_labelStartdate = new QLabel(this);
    m_labelEnddate = new QLabel(this);

    m_formLayout->addRow(QStringLiteral("姓名："), m_labelName);
    m_formLayout->addRow(QStringLiteral("性别："), m_labelGender);
    m_formLayout->addRow(QStringLiteral("国籍："), m_labelNational);
    m_formLayout->addRow(QStringLiteral("生日："), m_labelBirthday);
    m_formLayout->addRow(QStringLiteral("地址："), m_labelAddress);
    m_formLayout->addRow(QStringLiteral("身份证号："), m_labelCardNumber);
    m_formLayout->addRow(QStringLiteral("签发机关："), m_labelMaker);
    m_formLayout->addRow(QStringLiteral("开始日期："), m_labelStartdate);
    m_formLayout->addRow(QStringLiteral("结束日期："), m_labelEnddate);
    m_formLayout->setSpacing(10);
    m_formLayout->setContentsMargins(30, 30, 30, 30);
    m_formLayout->setRowWrapPolicy(QFormLayout::WrapLongRows);

    m_timer = new QTimer(this);
    connect(m_timer, SIGNAL(timeout()), this, SLOT(onTimeout()));

    connect(Widget::instance(), SIGNAL(onWidgetTypeChange(Widget::Type,Widget::Type,QString)),
            this, SLOT(onWidgetTypeChange(Widget::Type,Widget::Type,QString)));
}

idcardwidget::~idcardwidget() = default;

void idcardwidget::startGetIdData()
{
    for (QLabel* label : {m_labelName, m_labelGender, m_labelNational, m_labelBirthday, m_labelAddress,
                          m_labelCardNumber, m_labelMaker, m_labelStartdate, m_labelEnddate})
        label->setText(QString());
    m_timer->start(300);
}

void idcardwidget::showIdData(int)
{
}

void idcardwidget::onTimeout()
{
}

void idcardwidget::onBtPress()
{
    if (sender() == m_backBt)
        Widget::instance()->setWidgetType(Widget::T_camare, Widget::T_idcard, WidgetStatus::Show);
}

void idcardwidget::onWidgetTypeChange(Widget::Type destinationType, Widget::Type, const QString&)
{
    setVisible(destinationType == Widget::T_idcard);
}
