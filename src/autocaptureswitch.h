#ifndef TAVIK_AUTOCAPTURESWITCH_H
#define TAVIK_AUTOCAPTURESWITCH_H

#include <QObject>

class QCheckBox;
class QFormLayout;

// The "自动拍照" box (checkBox_autoCapture): a row of its own at the end of
// the settings column, unchecked at start, in every pixel format. Checked, the
// frame pipeline photographs each new page once it lies still.
//
// GUI thread.
class AutoCaptureSwitch : public QObject
{
    Q_OBJECT

public:
    // Adds the box to form; the box is owned by the form's widget.
    AutoCaptureSwitch(QFormLayout* form, QObject* parent);
    ~AutoCaptureSwitch() override;

    QCheckBox* box() const { return m_box; }

private:
    QCheckBox* m_box;
};

#endif // TAVIK_AUTOCAPTURESWITCH_H
