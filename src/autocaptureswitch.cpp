#include "autocaptureswitch.h"

#include "autocapture.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFormLayout>

AutoCaptureSwitch::AutoCaptureSwitch(QFormLayout* form, QObject* parent)
    : QObject(parent)
    , m_box(new QCheckBox(QCoreApplication::translate("Dialog", "自动拍照"), form->parentWidget()))
{
    m_box->setObjectName(QStringLiteral("checkBox_autoCapture"));
    m_box->setChecked(false);
    form->addRow(m_box);
    AutoCapture::setEnabled(false);
    connect(m_box, &QCheckBox::toggled, this, [](bool on) { AutoCapture::setEnabled(on); });
}

AutoCaptureSwitch::~AutoCaptureSwitch()
{
    AutoCapture::setEnabled(false);
}
