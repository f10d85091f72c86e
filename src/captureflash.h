#ifndef TAVIK_CAPTUREFLASH_H
#define TAVIK_CAPTUREFLASH_H

#include <QWidget>

class QTimer;

// A bright frame around the preview for a quarter second: the sign that a
// photo was taken, which matters most when nobody clicked. Lets every click
// through. Object name "frame_captureFlash".
//
// GUI thread only.
class CaptureFlash : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kShownMs = 250;

    // A child of the widget it rings (the preview label), hidden.
    explicit CaptureFlash(QWidget* over);

public slots:
    void flash();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTimer* m_hideTimer; // Qt child
};

#endif // TAVIK_CAPTUREFLASH_H
