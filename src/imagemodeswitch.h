#ifndef TAVIK_IMAGEMODESWITCH_H
#define TAVIK_IMAGEMODESWITCH_H

#include <QObject>

class QComboBox;
class QFormLayout;

// The "图像模式:" row (comboBox_colorMode) at the end of the settings column:
// "原图" (the picture as the camera sees it, the default), "文档", "灰度",
// "黑白". The choice reaches the photos and the preview at once. Disabled
// where the image-processing library lacks the modes.
//
// GUI thread.
class ImageModeSwitch : public QObject
{
    Q_OBJECT

public:
    // Adds the row to form; its widgets are owned by the form's widget.
    ImageModeSwitch(QFormLayout* form, QObject* parent);
    ~ImageModeSwitch() override;

    QComboBox* box() const { return m_box; }
    // After the library is loaded: whether it offers the modes.
    void setAvailable(bool available);

private:
    QComboBox* m_box;
};

#endif // TAVIK_IMAGEMODESWITCH_H
