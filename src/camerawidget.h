#ifndef TAVIK_CAMERAWIDGET_H
#define TAVIK_CAMERAWIDGET_H

#include "customInterface/widget.h"
#include "includes/camera.h"

#include <QMutex>
#include <QString>
#include <QWidget>

#include <atomic>
#include <memory>

class AutoCaptureSwitch;
class CameraNodeWatcher;
class CaptureFlash;
class ImageModeSwitch;
class NoticeBanner;
class SearchablePdfSwitch;
class QButtonGroup;
class QTimer;

namespace Ui {
class Dialog;
}

// The camera panel: thumbnail strip, live preview and the settings column.
// It drives the camera / format / size chain, opens and closes the stream,
// paints the frames the capture thread queues, and takes photos and PDFs.
//
// Lives in the GUI thread; every slot runs there except onSavePic, which the
// capture thread calls (through g_camera) while it holds the frame-queue mutex.
// Destroying the panel stops capture and ends the process with status 0.
class cameraWidget : public QWidget
{
    Q_OBJECT

public:
    // Builds the form, wires it, loads the image-processing library (a failure
    // ends the process with status 1) and then opens the first camera.
    explicit cameraWidget(QWidget* parent);
    ~cameraWidget() override;

    // Capture thread: reports a lost camera to the GUI thread (queued).
    void setSignalVideoError(bool cleanData);
    // GUI thread: the open camera was lost; warns and empties the lists.
    void deinitAllData();

    // Any thread: the save folder as shown in the panel, from a copy the GUI
    // thread keeps current.
    QString saveFolder() const;

signals:
    void signal_videoError(bool cleanData);
    // Capture thread: a photo could not be written; message says why. Reaches
    // the notice over the preview queued.
    void signal_photoNotSaved(const QString& message);

public slots:
    void initAllWidgetData();
    void openVideo();
    // Requests one photo: the next frame is saved.
    void TakePhoto();
    void closeVieo(bool cleanData = false);
    void ChangeDev(int index);
    void ChangeRes(const QString& arg1);
    void ChangeSub(const QString& arg1);
    void ChangePic(int index);
    int Video_GetPic();
    void OnMakePdf();
    void openDIr();
    void changeIcWidget();
    void slots_radioButton();
    void slots_EnableDeskImage();
    void onWidgetTypeChange(Widget::Type destinationType, Widget::Type requestType, const QString& status);
    // Capture thread: writes the photo in pixData to the save folder and returns
    // its path (also when the file could not be written).
    QString onSavePic(unsigned char* pixData, int len);
    void onAddToListWidget(QString fileName);
    void onChangeSubText();

private slots:
    void on_pushButton_released();
    // A PDF is complete under outputName: it joins the strip, and the box says where.
    void onPdfWritten(const QString& outputName);

private:
    void initDevNameWidget();
    void initPixelFormatWidget(const VideoDeviceData* videoNode);
    void initFrmSizeWidget(const PixelFormat* formatNode);
    void ChangeDevHandle();
    void initDataByVideo();
    // GUI thread: says in the preview why no camera is listed (none plugged
    // in, or cameras the user may not open) and what to do.
    void showNoCameraHint();
    // GUI thread: the listed camera did not open or start; says why.
    void showOpenFailedHint();
    VideoDeviceData* currentDevice() const;

    int m_openFd = -1;
    // Read by the capture thread while saving a photo.
    std::atomic<int> picIndex{0};
    bool initDataFlag = false;
    // Read by the capture thread while saving a photo.
    std::atomic<int> m_rotateAngle{0};
    QTimer* changeResTimer = nullptr;
    QButtonGroup* groupButton1 = nullptr;
    std::unique_ptr<Ui::Dialog> ui;

    NoticeBanner* m_notice = nullptr;           // Qt child of the preview label
    CameraNodeWatcher* m_nodeWatcher = nullptr; // Qt child; watches while no camera is listed
    AutoCaptureSwitch* m_autoCapture = nullptr; // Qt child; the "自动拍照" row
    ImageModeSwitch* m_imageMode = nullptr;     // Qt child; the "图像模式:" row
    CaptureFlash* m_flash = nullptr;            // Qt child of the preview label
    SearchablePdfSwitch* m_searchablePdf = nullptr; // Qt child; the "可搜索PDF" row and its jobs

    // Guards m_saveFolder, the copy of lineEdit's text the capture thread reads.
    mutable QMutex m_saveFolderLock;
    QString m_saveFolder;
};

#endif // TAVIK_CAMERAWIDGET_H
