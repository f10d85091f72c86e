#ifndef TAVIK_WIDGET_H
#define TAVIK_WIDGET_H

#include <QObject>
#include <QRect>
#include <QScopedPointer>
#include <QString>

class QWidget;
class WidgetPrivate;

// Status strings of Widget::setWidgetType, compared case-sensitively.
namespace WidgetStatus {
const QString RequestShow = QStringLiteral("RequestShow");
const QString RequestHide = QStringLiteral("RequestHide");
const QString Show = QStringLiteral("Show");
}

// Process-wide panel coordinator: decides which panel is on screen, relays the
// capture thread's notifications to the GUI thread, and scales geometry.
//
// Lives in the GUI thread: the application creates it there before any camera
// opens. Switching (setWidgetType, acquireWidgetType, releaseWidgetType) is GUI
// thread only, because Widget::Type cannot cross threads in a queued call.
// setUpdatImage and setSavePic may be called from any thread; their receivers
// in the GUI thread get them queued.
class Widget : public QObject
{
    Q_OBJECT

public:
    enum Type {
        T_Undefine = -1,
        T_Back = 0,
        T_camare = 1,
        T_idcard = 2,
    };

    // Any thread; the first call creates the instance (parent: the application).
    static Widget* instance();

    void setWidgetType(Widget::Type destinationType, Widget::Type requestType, const QString& status);
    void acquireWidgetType(Widget::Type type);
    void releaseWidgetType(Widget::Type type);
    Widget::Type currentWidgetType() const;

    // Capture thread: a frame was queued / a picture file was written.
    void setUpdatImage();
    void setSavePic(const QString& pixData);

    QRect geometryFit(int x, int y, int w, int h, QWidget* widget);
    float widthScalabilityFactor();
    float heightScalabilityFactor();

signals:
    void onWidgetTypeChange(Widget::Type destinationType, Widget::Type requestType, QString status);
    void updatImage();
    void signal_SavePic(QString pixData);

protected slots:
    void slot_WidgetTypeChange(Widget::Type destinationType, Widget::Type requestType, const QString& status);

private:
    explicit Widget(QObject* parent);
    ~Widget() override;
    Widget(const Widget&) = delete;
    Widget& operator=(const Widget&) = delete;

    void initializePrivate();

    QScopedPointer<WidgetPrivate> m_Private;
};

#endif // TAVIK_WIDGET_H
