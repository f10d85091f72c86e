#include "camerawidget.h"

#include "autocaptureswitch.h"
#include "cameraaccess.h"
#include "cameranodewatcher.h"
#include "captureflash.h"
#include "framepipeline.h"
#include "imagemode.h"
#include "imagemodeswitch.h"
#include "imageprocloader.h"
#include "noticebanner.h"
#include "pdfcomposer.h"
#include "photofile.h"
#include "searchablepdfswitch.h"
#include "settingscolumn.h"
#include "ui_dialog.h"

#include <QButtonGroup>
#include <QDateTime>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QMutexLocker>
#include <QPixmap>
#include <QTimer>
#include <QTransform>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

// ---- construction and shutdown

cameraWidget::cameraWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::Dialog)
{
    picIndex = 0;
    ui->setupUi(this);
    ui->formLayout->setVerticalSpacing(10);
    ui->pushButton_iccard->hide();
    m_autoCapture = new AutoCaptureSwitch(ui->formLayout, this);
    m_imageMode = new ImageModeSwitch(ui->formLayout, this);
    m_searchablePdf = new SearchablePdfSwitch(ui->formLayout, this);
    SettingsColumn::fitToCaptions(ui->formLayout);

    groupButton1 = new QButtonGroup(this);
    groupButton1->addButton(ui->radioButton_noRotate, 0);
    groupButton1->addButton(ui->radioButton_90Rotate, 1);
    groupButton1->addButton(ui->radioButton_180Rotate, 2);
    groupButton1->addButton(ui->radioButton_270Rotate, 3);
    m_rotateAngle = 0;
    ui->radioButton_noRotate->setChecked(true);
    ui->DeskImagecheck->setChecked(false);

    connect(ui->DeskImagecheck, SIGNAL(clicked(bool)), this, SLOT(slots_EnableDeskImage()));
    connect(ui->radioButton_noRotate, SIGNAL(clicked(bool)), this, SLOT(slots_radioButton()));
    connect(ui->radioButton_90Rotate, SIGNAL(clicked(bool)), this, SLOT(slots_radioButton()));
    connect(ui->radioButton_180Rotate, SIGNAL(clicked(bool)), this, SLOT(slots_radioButton()));
    connect(ui->radioButton_270Rotate, SIGNAL(clicked(bool)), this, SLOT(slots_radioButton()));

    ui->horizontalLayout->setStretchFactor(ui->SetWidget, 1);
    ui->horizontalLayout->setStretchFactor(ui->label, 7);
    ui->horizontalLayout->setStretchFactor(ui->listWidget, 3);

    changeResTimer = new QTimer(this);
    connect(changeResTimer, SIGNAL(timeout()), this, SLOT(onChangeSubText()));

    connect(ui->OpenVideo, SIGNAL(clicked()), this, SLOT(openVideo()));
    connect(ui->TakePhoto, SIGNAL(clicked()), this, SLOT(TakePhoto()));
    connect(ui->closeCamera, SIGNAL(clicked()), this, SLOT(closeVieo()));
    connect(ui->pushButton_openDir, SIGNAL(clicked()), this, SLOT(openDIr()));
    connect(ui->pushButton_iccard, SIGNAL(clicked()), this, SLOT(changeIcWidget()));
    connect(ui->pushButton_initData, SIGNAL(clicked()), this, SLOT(initAllWidgetData()));

    // The capture thread must not read the line edit: it reads a copy that
    // follows every edit.
    connect(ui->lineEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
        QMutexLocker locker(&m_saveFolderLock);
        m_saveFolder = text;
    });
    QDir temp(QDir::tempPath());
    if (!temp.exists(QStringLiteral("tavik_files")))
        temp.mkdir(QStringLiteral("tavik_files"));
    ui->lineEdit->setText(QDir::tempPath() + QStringLiteral("/tavik_files"));

    m_openFd = -1;

    ui->comboBox_Pic->insertItem(0, QStringLiteral("JPG"));
    ui->comboBox_Pic->insertItem(1, QStringLiteral("BMP"));
    ui->comboBox_Pic->insertItem(2, QStringLiteral("PNG"));
    ui->comboBox_Pic->setCurrentIndex(0);
    connect(ui->comboBox_Pic, SIGNAL(currentIndexChanged(int)), this, SLOT(ChangePic(int)));

    initDataFlag = false;
    ui->OpenVideo->hide();
    ui->closeCamera->hide();

    // Failures show over the preview for a few seconds, never in a box.
    m_notice = new NoticeBanner(ui->label);
    connect(this, &cameraWidget::signal_photoNotSaved, m_notice, &NoticeBanner::showNotice);
    connect(ui->listWidget, &Thumbnail::commandFailed, m_notice, &NoticeBanner::showNotice);
    m_flash = new CaptureFlash(ui->label);
    connect(m_searchablePdf, &SearchablePdfSwitch::written, this, &cameraWidget::onPdfWritten);
    connect(m_searchablePdf, &SearchablePdfSwitch::failed, this, [this](SaveProblem problem) {
        m_notice->showNotice(QCoreApplication::translate("Dialog", "PDF未保存：") + SaveProblems::describe(problem));
    });
    // While no camera is listed, one plugged in starts without a click.
    m_nodeWatcher = new CameraNodeWatcher(CameraAccess::deviceFolder(), this);
    connect(m_nodeWatcher, &CameraNodeWatcher::nodesChanged, this, &cameraWidget::initAllWidgetData);

    // Everything the capture thread relies on is in place before the first
    // camera opens: the coordinator's connections, g_camera and the library.
    connect(Widget::instance(), SIGNAL(onWidgetTypeChange(Widget::Type,Widget::Type,QString)),
            this, SLOT(onWidgetTypeChange(Widget::Type,Widget::Type,QString)));
    connect(Widget::instance(), SIGNAL(updatImage()), this, SLOT(Video_GetPic()));
    connect(Widget::instance(), SIGNAL(signal_SavePic(QString)), this, SLOT(onAddToListWidget(QString)));
    connect(this, SIGNAL(signal_videoError(bool)), this, SLOT(closeVieo(bool)));
    g_camera = this;
    if (!loadImageProc()) {
        // The recognition check may still be on its way out: exit() must not
        // tear the process down under it.
        m_searchablePdf->stop();
        exit(1);
    }
    m_imageMode->setAvailable(cac_func_enhance != nullptr);

    initAllWidgetData();
}

cameraWidget::~cameraWidget()
{
    // No frame callback, and no recognition thread, may outlive what exit()
    // tears down.
    closeVieo(false);
    m_searchablePdf->stop();
    g_camera = nullptr;
    unloadImageProc();
    exit(0);
}

void cameraWidget::initAllWidgetData()
{
    if (ui->comboBox_devName->count() == 0) {
        initDevNameWidget();
        ChangeDev(0);
        if (ui->comboBox_devName->count() == 0)
            showNoCameraHint();
    }
    if (ui->comboBox_devName->count() == 0)
        m_nodeWatcher->start();
    else
        m_nodeWatcher->stop();
}

void cameraWidget::changeIcWidget()
{
    closeVieo(false);
    Widget::instance()->setWidgetType(Widget::T_idcard, Widget::T_camare, WidgetStatus::Show);
}

void cameraWidget::onWidgetTypeChange(Widget::Type destinationType, Widget::Type, const QString&)
{
    if (destinationType == Widget::T_camare) {
        ChangeDev(0);
        setVisible(true);
    } else {
        setVisible(false);
    }
}

QString cameraWidget::saveFolder() const
{
    QMutexLocker locker(&m_saveFolderLock);
    return m_saveFolder;
}

// ---- camera, format and size chain

void cameraWidget::initDataByVideo()
{
    if (initDataFlag)
        return;
    if (initVideoData() < 0) {
        puts("no found video device");
        return;
    }
    initDataFlag = true;
}

void cameraWidget::showOpenFailedHint()
{
    ui->label->setText(CameraAccess::openFailedHint(ui->comboBox_devName->currentText()));
}

void cameraWidget::showNoCameraHint()
{
    const CameraAccess::NodeState state = CameraAccess::nodeState(CameraAccess::deviceFolder());
    if (state == CameraAccess::NodeState::NoPermission)
        puts("video nodes present but none may be opened: user not in group video");
    ui->label->setText(CameraAccess::emptyListHint(state));
}

void cameraWidget::initDevNameWidget()
{
    disconnect(ui->comboBox_devName, SIGNAL(currentIndexChanged(int)), this, SLOT(ChangeDev(int)));
    initDataByVideo();
    if (initDataFlag) {
        ui->comboBox_devName->clear();
        const int n = getVideoDeviceNum();
        for (int i = 0; i < n; ++i) {
            const VideoDeviceData* device = getVideoDeviceByIndex(i);
            if (!device) {
                puts("getVideoDeviceByIndex is NULL ");
                continue;
            }
            ui->comboBox_devName->insertItem(i, QString::fromLatin1(device->devPath));
        }
    }
    connect(ui->comboBox_devName, SIGNAL(currentIndexChanged(int)), this, SLOT(ChangeDev(int)));
}

void cameraWidget::initPixelFormatWidget(const VideoDeviceData* videoNode)
{
    disconnect(ui->comboBox_PixelFormat, SIGNAL(currentIndexChanged(QString)), this, SLOT(ChangeSub(const QString &)));
    ui->comboBox_PixelFormat->clear();
    VideoDeviceData* node = const_cast<VideoDeviceData*>(videoNode);
    const int n = getPixelFormatNum(node);
    for (int i = 0; i < n; ++i) {
        const PixelFormat* format = getPixelFormatByIndex(node, i);
        if (!format) {
            puts("getPixelFormatByIndex is NULL ");
            continue;
        }
        const QString name = QString::fromLatin1(format->pixelformatTip);
        ui->comboBox_PixelFormat->insertItem(i, name);
        if (name == QLatin1String("JPEG"))
            ui->comboBox_PixelFormat->setCurrentIndex(ui->comboBox_PixelFormat->findText(name));
    }
    connect(ui->comboBox_PixelFormat, SIGNAL(currentIndexChanged(QString)), this, SLOT(ChangeSub(const QString &)));
}

void cameraWidget::initFrmSizeWidget(const PixelFormat* formatNode)
{
    disconnect(ui->comboBox_FrmSize, SIGNAL(currentIndexChanged(QString)), this, SLOT(ChangeRes(const QString &)));
    ui->comboBox_FrmSize->clear();
    PixelFormat* node = const_cast<PixelFormat*>(formatNode);
    const int n = getFrmSizeNum(node);
    for (int i = 0; i < n; ++i) {
        const FrmSizeData* size = getFrmSizeNumByIndex(node, i);
        if (!size) {
            puts("getFrmSizeNumByIndex is NULL ");
            break;
        }
        ui->comboBox_FrmSize->insertItem(i, QString::asprintf("%d*%d", size->width, size->height));
    }
    connect(ui->comboBox_FrmSize, SIGNAL(currentIndexChanged(QString)), this, SLOT(ChangeRes(const QString &)));
}

VideoDeviceData* cameraWidget::currentDevice() const
{
    const QByteArray name = ui->comboBox_devName->currentText().toUtf8();
    return getVideoDeviceNodeByName(name.constData(), name.size());
}

void cameraWidget::ChangeDev(int)
{
    qDebug() << "cameraWidget::ChangeDev =========" << ui->comboBox_devName->currentText();
    const VideoDeviceData* device = currentDevice();
    if (!device)
        return;
    initPixelFormatWidget(device);
    ChangeSub(QString());
}

void cameraWidget::ChangeSub(const QString&)
{
    const QString formatName = ui->comboBox_PixelFormat->currentText();
    qDebug() << "cameraWidget::ChangeSub =========" << formatName;
    ui->DeskImagecheck->setVisible(formatName != QLatin1String("YUYV"));
    VideoDeviceData* device = currentDevice();
    if (!device)
        return;
    g_currentInfo.g_pixelFormat = formatName;
    const PixelFormat* format = getPixelFormatByFormatTip(device, formatName.toUtf8().constData());
    if (!format)
        return;
    initFrmSizeWidget(format);
    ChangeRes(QString());
}

void cameraWidget::ChangeRes(const QString&)
{
    const QString sizeText = ui->comboBox_FrmSize->currentText();
    qDebug() << "cameraWidget::ChangeRes =========" << sizeText;
    const QStringList parts = sizeText.split(QLatin1Char('*'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    if (parts.size() > 0)
        g_currentInfo.g_width = parts.at(0).toInt(nullptr, 10);
    if (parts.size() > 1)
        g_currentInfo.g_height = parts.at(1).toInt(nullptr, 10);
    g_currentInfo.g_frmsize = static_cast<unsigned int>(g_currentInfo.g_width) * static_cast<unsigned int>(g_currentInfo.g_height);
    ChangeDevHandle();
}

void cameraWidget::ChangeDevHandle()
{
    closeVieo(false);
    openVideo();
}

void cameraWidget::deinitAllData()
{
    // A camera plugged back in while the warning is up must count as new.
    m_nodeWatcher->markBaseline();
    QMessageBox::warning(this, QStringLiteral("警告"), QStringLiteral("摄像头已拔出"), QMessageBox::Ok, QMessageBox::NoButton);
    initDataFlag = false;
    ui->comboBox_devName->clear();
    ui->comboBox_PixelFormat->clear();
    ui->comboBox_FrmSize->clear();
    deinitVideoData();
    showNoCameraHint();
    m_nodeWatcher->start();
}

void cameraWidget::onChangeSubText()
{
    static int index = 0;
    static unsigned int num = 0;
    index = index + 1;
    if (index >= ui->comboBox_FrmSize->count())
        index = 0;
    ui->comboBox_FrmSize->setCurrentIndex(index);
    num = num + 1;
    qDebug() << "change num : " << num;
}

// ---- stream and preview

void cameraWidget::openVideo()
{
    // The capture thread's snapshot may only change while no stream runs.
    if (m_openFd != -1)
        closeVieo(false);
    const QByteArray device = ui->comboBox_devName->currentText().toUtf8();
    const QString formatName = ui->comboBox_PixelFormat->currentText();
    m_openFd = Video_Open(device.constData());
    if (m_openFd < 0) {
        qDebug() << "open error !";
        m_openFd = -1;
        showOpenFailedHint();
        return;
    }
    const int width = g_currentInfo.g_width;
    const int height = g_currentInfo.g_height;
    if (Video_SetParam(m_openFd, formatName.toUtf8().constData(), width, height) == -1) {
        Video_Close(m_openFd);
        m_openFd = -1;
        showOpenFailedHint();
        return;
    }
    setStreamParameters(formatName, width, height);
    g_currentInfo.getImageOk = false;
    g_currentInfo.isTakePhoto = false;
    StartCapture(m_openFd, viewCallck);
}

void cameraWidget::closeVieo(bool cleanData)
{
    if (m_openFd == -1)
        return;
    StopCapture(m_openFd);
    Video_Close(m_openFd);
    uninitQueue();
    m_openFd = -1;
    ui->label->clear();
    if (cleanData)
        deinitAllData();
}

void cameraWidget::setSignalVideoError(bool cleanData)
{
    emit signal_videoError(cleanData);
}

int cameraWidget::Video_GetPic()
{
    RGBdata frame = getRgbData();
    g_currentInfo.getImageOk = false;
    if (!frame.m_image.isNull()) {
        const int angle = m_rotateAngle;
        const QSize labelSize = ui->label->size();
        g_currentInfo.g_size = labelSize;
        // Fit first, then turn: the same picture as turning the full frame and
        // fitting it, for a fraction of the work. The conversion also gives the
        // picture its own pixels, so the frame's buffer can go below.
        const QSize fitBox = (angle == 90 || angle == 270) ? labelSize.transposed() : labelSize;
        QImage picture = frame.m_image.convertToFormat(QImage::Format_RGB32)
                             .scaled(fitBox, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (angle != 0)
            picture = picture.transformed(QTransform().rotate(angle), Qt::SmoothTransformation);
        ui->label->setPixmap(QPixmap::fromImage(std::move(picture)));
    }
    free(frame.m_data);
    return 0;
}

// ---- photos, folder and PDF

void cameraWidget::TakePhoto()
{
    g_currentInfo.isTakePhoto = true;
}

QString cameraWidget::onSavePic(unsigned char* pixData, int len)
{
    QImage picture;
    if (g_stream.isYuyv()) {
        const int w = g_stream.width;
        const int h = g_stream.height;
        if (pixData && w > 0 && h > 0 && static_cast<long long>(len) >= 3LL * w * h)
            picture = QImage(pixData, w, h, w * 3, QImage::Format_RGB888);
    } else if (pixData && len > 0) {
        picture.loadFromData(pixData, len);
    }
    // A frame that does not decode is refused, and logged, by the save.
    const ImageMode::Mode mode = ImageMode::current();
    const int format = picIndex;
    const QImage turned = PhotoFile::rotated(ImageMode::photo(picture, mode), m_rotateAngle);
    QString fileName;
    const SaveProblem problem =
        PhotoFile::saveStamped(ImageMode::forFile(turned, mode, PhotoFile::suffixForIndex(format)), saveFolder(), format,
                               QDateTime::currentDateTime(), &fileName);
    if (problem != SaveProblem::None)
        emit signal_photoNotSaved(QCoreApplication::translate("Dialog", "照片未保存：") + SaveProblems::describe(problem));
    return fileName;
}

void cameraWidget::ChangePic(int index)
{
    picIndex = index;
}

void cameraWidget::slots_radioButton()
{
    switch (groupButton1->checkedId()) {
    case 0: m_rotateAngle = 0; break;
    case 1: m_rotateAngle = 90; break;
    case 2: m_rotateAngle = 180; break;
    case 3: m_rotateAngle = 270; break;
    default: break;
    }
}

void cameraWidget::slots_EnableDeskImage()
{
    flag = ui->DeskImagecheck->isChecked() ? 1 : 0;
}

void cameraWidget::openDIr()
{
    const QDir folder(ui->lineEdit->text());
    if (folder.exists())
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder.absolutePath()));
}

void cameraWidget::onAddToListWidget(QString fileName)
{
    if (ui->listWidget->AddImage(fileName, -1))
        m_flash->flash();
}

void cameraWidget::on_pushButton_released()
{
    OnMakePdf();
}

void cameraWidget::OnMakePdf()
{
    const QStringList pictures = ui->listWidget->GetFilePaths();
    if (pictures.isEmpty())
        return;
    const QString outputName = PdfComposer::outputName(ui->lineEdit->text(), QDateTime::currentDateTime());
    if (m_searchablePdf->isOn()) {
        // Off the GUI thread; ends in onPdfWritten or a notice.
        m_searchablePdf->compose(pictures, outputName);
        return;
    }
    SaveProblem problem = SaveProblem::None;
    if (!PdfComposer::compose(pictures, outputName, &problem)) {
        m_notice->showNotice(QCoreApplication::translate("Dialog", "PDF未保存：") + SaveProblems::describe(problem));
        return;
    }
    onPdfWritten(outputName);
}

void cameraWidget::onPdfWritten(const QString& outputName)
{
    QPixmap icon(QStringLiteral(":/Pdf.png"));
    ui->listWidget->AddImage(icon, outputName, -1);
    QMessageBox::information(this, QStringLiteral("提示"), QStringLiteral("保存PDF成功\n图片路径:") + outputName,
                             QMessageBox::Ok);
}
