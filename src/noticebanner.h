#ifndef TAVIK_NOTICEBANNER_H
#define TAVIK_NOTICEBANNER_H

#include <QLabel>

class QTimer;

// A short line over the lower edge of the preview that goes away by itself:
// how the window says that a photo, a PDF or a deletion failed without
// stopping the user with a message box. A new notice replaces the one shown.
// Object name "label_notice".
//
// GUI thread only; other threads reach it through queued signals.
class NoticeBanner : public QLabel
{
    Q_OBJECT

public:
    static constexpr int kShownMs = 4000;

    // A child of the widget it floats over (the preview label), hidden.
    explicit NoticeBanner(QWidget* over);

public slots:
    void showNotice(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();

    QTimer* m_hideTimer; // Qt child
};

#endif // TAVIK_NOTICEBANNER_H
