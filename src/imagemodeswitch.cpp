#include "imagemodeswitch.h"

#include "imagemode.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QLabel>

ImageModeSwitch::ImageModeSwitch(QFormLayout* form, QObject* parent)
    : QObject(parent)
    , m_box(new QComboBox(form->parentWidget()))
{
    m_box->setObjectName(QStringLiteral("comboBox_colorMode"));
    // Item i is the library's mode i.
    for (const char* item : {"原图", "文档", "灰度", "黑白"})
        m_box->addItem(QCoreApplication::translate("Dialog", item));
    auto* label = new QLabel(QCoreApplication::translate("Dialog", "图像模式:"), form->parentWidget());
    label->setObjectName(QStringLiteral("label_colorMode"));
    form->addRow(label, m_box);
    ImageMode::set(ImageMode::Original);
    connect(m_box, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [](int index) { ImageMode::set(static_cast<ImageMode::Mode>(index < 0 ? 0 : index)); });
}

ImageModeSwitch::~ImageModeSwitch()
{
    ImageMode::set(ImageMode::Original);
}

void ImageModeSwitch::setAvailable(bool available)
{
    if (!available)
        m_box->setCurrentIndex(ImageMode::Original);
    m_box->setEnabled(available);
}
