// The window end to end. First without a camera, frames crafted and handed
// straight to the frame handler: the pipeline and photos (the panel's PDF and
// its confirmation: tests/faults/tst_savefolder.cpp). Then with
// the virtual document camera found by "初始化摄像头数据": the chain, live frames
// and the switch to the ID-card panel and back (camera loss:
// tests/faults/tst_camerafaults.cpp).
#include "Thumbnail.h"
#include "cameraaccess.h"
#include "idcardwidget.h"
#include "mainwidget.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFormLayout>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>

using namespace TestSupport;

namespace {

// Packed YUYV of one colour: every pixel pair is (y, u, y, v).
QByteArray yuyvOf(int w, int h, int y, int u, int v)
{
    const char pair[] = {char(y), char(u), char(y), char(v)};
    return QByteArray(pair, 4).repeated(w * h / 2);
}

// A white page turned by 4 degrees on a dark desk.
QImage documentScene(QSize frame, QSize page)
{
    QImage image = filled(frame.width(), frame.height(), QColor(45, 40, 38));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(frame.width() / 2.0, frame.height() / 2.0);
    p.rotate(4);
    p.fillRect(QRectF(QPointF(-page.width() / 2.0, -page.height() / 2.0), QSizeF(page)), QColor(245, 245, 240));
    return image;
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

    MainWidget* m_window = nullptr; // never deleted: destroying it ends the process
    cameraWidget* m_panel = nullptr;
    idcardwidget* m_idcard = nullptr;
    Thumbnail* m_strip = nullptr;
    QTemporaryDir m_dir;
    QTemporaryDir m_devDir; // the device folder the panel watches

    template <typename T> T* child(const char* name) { return m_window->findChild<T*>(QLatin1String(name)); }
    QStringList filesOnDisk() const { return QDir(m_dir.path()).entryList(QDir::Files, QDir::Name); }
    bool waitForNewFrame() { return TestSupport::waitForNewFrame(child<QLabel>("label")); }

    // Requests a photo, hands one frame over and returns the path the strip lists.
    QString takePhotoWith(const QByteArray& frame)
    {
        const int before = m_strip->Count();
        child<QPushButton>("TakePhoto")->click();
        feed(frame);
        drain(m_panel);
        return QTest::qWaitFor([&] { return m_strip->Count() > before; }, 3000) ? m_strip->GetFilePaths().constLast() : QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        onlyVirtualCamera(false);
        CameraAccess::setDeviceFolder(m_devDir.path());
        m_window = new MainWidget;
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        m_panel = m_window->findChild<cameraWidget*>();
        m_idcard = m_window->findChild<idcardwidget*>();
        m_strip = child<Thumbnail>("listWidget");
        child<QLineEdit>("lineEdit")->setText(m_dir.path());
    }

    void init()
    {
        drain(m_panel);
        g_currentInfo.isTakePhoto = false;
        child<QRadioButton>("radioButton_noRotate")->click();
        if (child<QCheckBox>("DeskImagecheck")->isChecked())
            child<QCheckBox>("DeskImagecheck")->click();
        child<QComboBox>("comboBox_Pic")->setCurrentIndex(0);
        while (m_strip->Count() > 0)
            m_strip->RemoveItem(0, false);
        for (const QString& name : filesOnDisk())
            QFile::remove(m_dir.filePath(name));
    }

    void window_firstSizeColour_andPanelsFollowResizes()
    {
        QCOMPARE(m_window->size(), QSize(1249, 561));
        QCOMPARE(m_window->palette().color(QPalette::Window), QColor(0, 205, 205));
        QVERIFY(m_idcard->isHidden());
        QCOMPARE(m_idcard->minimumSize(), QSize(1249, 561));
        m_window->resize(1400, 700);
        QCOMPARE(m_panel->size(), QSize(1400, 700));
        QCOMPARE(m_idcard->size(), QSize(1400, 700)); // hidden, yet resized
    }

    void frame_queuedAtStreamsDecodedSizeOrDropped_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QSize>("queued"); // invalid: dropped
        const QByteArray yuyv = yuyvOf(8, 4, 128, 128, 128);
        const auto jpeg = [](int w, int h) { return jpegOf(filled(w, h, Qt::darkCyan)); };
        QTest::newRow("2 bytes") << "JPEG" << QSize(640, 480) << QByteArray("\xFF\xD8", 2) << QSize();
        QTest::newRow("YUYV one byte short") << "YUYV" << QSize(8, 4) << yuyv.left(yuyv.size() - 1) << QSize();
        QTest::newRow("YUYV whole") << "YUYV" << QSize(8, 4) << yuyv << QSize(8, 4);
        QTest::newRow("large without JPEG marker") << "JPEG" << QSize(1280, 720) << jpeg(1280, 720).mid(1) << QSize();
        QTest::newRow("921600 pixels: quarter scale") << "JPEG" << QSize(1280, 720) << jpeg(1280, 720) << QSize(320, 180);
        QTest::newRow("just under 921600 pixels: whole") << "JPEG" << QSize(1279, 720) << jpeg(1279, 720) << QSize(1279, 720);
        // Cameras pad 1080 rows to 1088: the frame's own size counts.
        QTest::newRow("1920*1088 frame on a 1920*1080 stream") << "JPEG" << QSize(1920, 1080) << jpeg(1920, 1088) << QSize(480, 272);
    }

    void frame_queuedAtStreamsDecodedSizeOrDropped()
    {
        QFETCH(QString, format);
        QFETCH(QSize, size);
        QFETCH(QByteArray, frame);
        QFETCH(QSize, queued);
        setStreamParameters(format, size.width(), size.height());
        // A choice made while the stream runs (the chain records it before it
        // restarts the stream) must not change how this stream's frames are read.
        g_currentInfo.g_pixelFormat = QStringLiteral("YUYV");
        g_currentInfo.g_width = 1920;
        g_currentInfo.g_height = 1080;
        g_currentInfo.g_frmsize = 1920 * 1080;
        feed(frame, true);
        feed(frame, true); // dropped while the first waits for the GUI
        QCOMPARE(g_imageQueue.size(), queued.isValid() ? 1 : 0);
        QCOMPARE(g_currentInfo.getImageOk.load(), queued.isValid());
        if (queued.isValid())
            QCOMPARE(g_imageQueue.head().m_image.size(), queued);
        m_panel->Video_GetPic();
        QVERIFY(!g_currentInfo.getImageOk && g_imageQueue.isEmpty());
    }

    void deskew_outlinesPreview_straightensPhoto_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("640*480, outline into the JPEG") << QSize(640, 480);
        QTest::newRow("1280*720, outline into the decoded pixels") << QSize(1280, 720);
    }

    void deskew_outlinesPreview_straightensPhoto()
    {
        QFETCH(QSize, size);
        const QSize page(size.width() * 6 / 10, size.height() * 7 / 10);
        setStreamParameters(QStringLiteral("JPEG"), size.width(), size.height());
        const QByteArray frame = jpegOf(documentScene(size, page));
        feed(frame);
        const QImage plain = g_imageQueue.head().m_image.copy();
        drain(m_panel);
        child<QCheckBox>("DeskImagecheck")->click();
        QImage outlined;
        for (int i = 0; i < 5; ++i) { // the library steadies its outline over a few frames
            feed(frame);
            outlined = g_imageQueue.head().m_image.copy();
            drain(m_panel);
        }
        QCOMPARE(outlined.size(), plain.size());
        QVERIFY(outlined != plain);

        const QImage photo(takePhotoWith(frame)); // the page straightened and cut out
        QVERIFY(!photo.isNull() && photo.width() < size.width() && photo.height() < size.height());
        QVERIFY(qAbs(double(photo.width()) / photo.height() - double(page.width()) / page.height()) < 0.12);
    }

    // The file name's pattern: tests/gallery/tst_photofile.cpp.
    void photo_savedPerFormat_joinsStripAtTheEndAsCurrent_data()
    {
        QTest::addColumn<QString>("pixelFormat"); // JPEG 1920 x 1080, YUYV 8 x 4
        QTest::addColumn<int>("picIndex");
        QTest::addColumn<bool>("turned");
        QTest::addColumn<QString>("suffix");
        // The camera's own JPEG at full size, though the preview decodes a quarter.
        QTest::newRow("JPEG as JPG") << "JPEG" << 0 << false << "jpg";
        QTest::newRow("JPEG as PNG, 90") << "JPEG" << 2 << true << "png";
        // (Y 100, U 128, V 200) converts to R 170, G 42, B 85; PNG keeps them exact.
        QTest::newRow("YUYV as PNG, 90") << "YUYV" << 2 << true << "png";
    }

    void photo_savedPerFormat_joinsStripAtTheEndAsCurrent()
    {
        QFETCH(QString, pixelFormat);
        QFETCH(int, picIndex);
        QFETCH(bool, turned);
        QFETCH(QString, suffix);
        const QString earlier = m_dir.filePath(QStringLiteral("earlier.png"));
        QVERIFY(filled(20, 10, Qt::yellow).save(earlier) && m_strip->AddImage(earlier, -1));
        child<QComboBox>("comboBox_Pic")->setCurrentIndex(picIndex);
        if (turned)
            child<QRadioButton>("radioButton_90Rotate")->click();
        const bool yuyv = pixelFormat == QLatin1String("YUYV");
        const QSize frameSize = yuyv ? QSize(8, 4) : QSize(1920, 1080);
        setStreamParameters(pixelFormat, frameSize.width(), frameSize.height());
        // JPEG: left half red, right half blue; turned clockwise, red is on top.
        QImage scene = filled(frameSize.width(), frameSize.height(), Qt::blue);
        QPainter(&scene).fillRect(0, 0, frameSize.width() / 2, frameSize.height(), Qt::red);
        const QString path = takePhotoWith(yuyv ? yuyvOf(frameSize.width(), frameSize.height(), 100, 128, 200) : jpegOf(scene));
        const QImage shown = child<QLabel>("label")->pixmap(Qt::ReturnByValue).toImage();
        QCOMPARE(shown.height() > shown.width(), turned);
        if (turned && !yuyv)
            QVERIFY(QColor(shown.pixel(shown.width() / 2, 5)).red() > 200 && QColor(shown.pixel(shown.width() / 2, shown.height() - 5)).blue() > 200);
        QVERIFY2(path.endsWith(QLatin1Char('.') + suffix), qPrintable(path));
        const QImage photo(path);
        QCOMPARE(photo.size(), turned ? frameSize.transposed() : frameSize);
        if (yuyv)
            QCOMPARE(QColor(photo.pixel(1, 2)), QColor(170, 42, 85));
        QCOMPARE(filesOnDisk(), (QStringList{QFileInfo(path).fileName(), QStringLiteral("earlier.png")}));
        QCOMPARE(m_strip->GetFilePaths(), (QStringList{earlier, path}));
        QCOMPARE(m_strip->findChild<QListWidget*>(QStringLiteral("ListWidgetImage"))->currentRow(), 1);
    }

    void photoRequest_threeClicksMakeOne_consumedByDamagedFrame()
    {
        setStreamParameters(QStringLiteral("JPEG"), 640, 480);
        const QByteArray frame = jpegOf(filled(640, 480, Qt::gray));
        for (int i = 0; i < 3; ++i)
            child<QPushButton>("TakePhoto")->click();
        for (const QByteArray& next : {QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(2000, '\x5A'), frame, frame}) {
            feed(next);
            QVERIFY(!g_currentInfo.isTakePhoto);
            drain(m_panel);
        }
        const QString photo = takePhotoWith(frame);
        QTest::qWait(50);
        QCOMPARE(filesOnDisk(), QStringList{QFileInfo(photo).fileName()});
        QCOMPARE(m_strip->Count(), 1);
    }

    void photoRequest_clickDuringSlowSave_asksForTheNextFrame()
    {
        setStreamParameters(QStringLiteral("JPEG"), 1920, 1080);
        child<QComboBox>("comboBox_Pic")->setCurrentIndex(2); // PNG of noise: long to write
        QImage noise(1920, 1080, QImage::Format_RGB32);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.bits()), int(noise.sizeInBytes() / 4));
        const QByteArray frame = jpegOf(noise);
        child<QPushButton>("TakePhoto")->click();
        std::thread saving([&] { setRgbData(reinterpret_cast<unsigned char*>(const_cast<char*>(frame.constData())), frame.size()); });
        const auto frameInHand = [] { // the handler holds the queue's lock for the whole frame
            if (!mutex.tryLock())
                return true;
            mutex.unlock();
            return false;
        };
        QVERIFY(QTest::qWaitFor(frameInHand, 5000));
        QThread::msleep(100); // past taking the request, well inside the writing
        const bool stillSaving = frameInHand();
        child<QPushButton>("TakePhoto")->click();
        saving.join();
        QVERIFY2(stillSaving, "the save was over before the second click");
        drain(m_panel);
        feed(frame);
        drain(m_panel);
        QTRY_COMPARE(m_strip->Count(), 2);
        QCOMPARE(filesOnDisk().size(), 2);
    }

    // The box sits in the column's last row, unchecked; checked, a page that
    // comes to rest takes the road of a click, with the flash; unchecked
    // again, nothing more is taken.
    void autoCapture_pageAtRest_photographedLikeAClick_untilSwitchedOff()
    {
        auto* box = child<QCheckBox>("checkBox_autoCapture");
        QVERIFY(box);
        QVERIFY(!box->isChecked());
        auto* form = child<QFormLayout>("formLayout");
        int row = -1, pdfRow = -1;
        QFormLayout::ItemRole role;
        form->getWidgetPosition(box, &row, &role);
        form->getWidgetPosition(child<QPushButton>("pushButton"), &pdfRow, &role);
        QVERIFY(row > pdfRow); // below "合成PDF" (the rows after it: tst_searchablepdf.cpp)

        setStreamParameters(QStringLiteral("JPEG"), 640, 480);
        const QImage desk = filled(640, 480, QColor(112, 84, 58));
        auto pageOn = [&](int layout) {
            QImage page = desk;
            QPainter painter(&page);
            painter.fillRect(200, 40, 240, 360, QColor(240, 240, 236));
            for (int line = 0; line < 12; ++line)
                painter.fillRect(220, 70 + line * 26, 80 + (line * 37 + layout * 53) % 120, 10, QColor(40, 40, 48));
            return page;
        };
        auto withHand = [](QImage picture) {
            QPainter(&picture).fillRect(380, 180, 260, 90, QColor(222, 170, 138));
            return picture;
        };
        auto* flash = child<QWidget>("frame_captureFlash");
        QVERIFY(flash);
        bool flashed = false;
        auto show = [&](const QImage& picture, int ms) {
            const QByteArray frame = jpegOf(picture);
            QElapsedTimer shown;
            shown.start();
            while (shown.elapsed() < ms) {
                feed(frame);
                drain(m_panel);
                QTest::qWait(30);
                flashed = flashed || flash->isVisible();
            }
        };
        box->click();
        show(desk, 1200);
        show(withHand(pageOn(1)), 300);
        show(pageOn(1), 1400);
        QCOMPARE(m_strip->Count(), 1);
        QVERIFY(flashed);
        const QString photo = m_strip->GetFilePaths().value(0);
        QCOMPARE(QImage(photo).size(), QSize(640, 480));
        QCOMPARE(filesOnDisk(), QStringList{QFileInfo(photo).fileName()});

        box->click();
        show(withHand(pageOn(2)), 300);
        show(pageOn(2), 1400);
        QCOMPARE(m_strip->Count(), 1);
    }

    // With nothing listed the device folder is watched: a node that appears
    // runs the enumeration, and the virtual camera stands in for the camera.
    void cameraPluggedIn_whileNoneListed_startsPreviewWithoutClick()
    {
        QCOMPARE(child<QComboBox>("comboBox_devName")->count(), 0);
        onlyVirtualCamera(true);
        QFile node(m_devDir.filePath(QStringLiteral("video0")));
        QVERIFY(node.open(QIODevice::WriteOnly));
        node.close();
        QVERIFY(waitForNewFrame());
        QCOMPARE(child<QComboBox>("comboBox_devName")->currentText(), QStringLiteral(TAVIK_VIRTUAL_CAMERA_PATH));
    }

    // Found by "初始化摄像头数据" with JPEG first: tests/faults/tst_camerafaults.cpp.
    void virtualCamera_yuyvOffersNoDeskew_refillsRunOnce_idCardPanelAndBack()
    {
        child<QPushButton>("pushButton_initData")->click();
        QVERIFY(!child<QCheckBox>("DeskImagecheck")->isHidden());
        child<QComboBox>("comboBox_PixelFormat")->setCurrentText(QStringLiteral("YUYV"));
        QVERIFY(child<QCheckBox>("DeskImagecheck")->isHidden());
        child<QComboBox>("comboBox_FrmSize")->setCurrentText(QStringLiteral("640*480"));
        QCOMPARE(g_stream.pixelFormat, QStringLiteral("YUYV"));
        QVERIFY(waitForNewFrame());
        {
            LogCapture log; // the chain's refills never run their own slot
            QMetaObject::invokeMethod(m_panel, "ChangeDev", Q_ARG(int, 0));
            QCOMPARE(log.countContaining(QStringLiteral("cameraWidget::ChangeDev")), 1);
            QCOMPARE(log.countContaining(QStringLiteral("cameraWidget::ChangeSub")), 1);
            QCOMPARE(log.countContaining(QStringLiteral("cameraWidget::ChangeRes")), 1);
        }
        QCOMPARE(child<QComboBox>("comboBox_PixelFormat")->currentText(), QStringLiteral("JPEG"));
        QCOMPARE(child<QComboBox>("comboBox_FrmSize")->currentIndex(), 0);

        // To the ID-card panel and back through the coordinator.
        QMetaObject::invokeMethod(m_panel, "changeIcWidget");
        QVERIFY(m_panel->isHidden() && m_idcard->isVisible());
        QCOMPARE(Widget::instance()->currentWidgetType(), Widget::T_idcard);
        const QList<QPushButton*> buttons = m_idcard->findChildren<QPushButton*>();
        const auto back = std::find_if(buttons.begin(), buttons.end(), [](QPushButton* b) { return b->text() == QStringLiteral("切换高拍仪"); });
        QVERIFY(back != buttons.end());
        (*back)->click();
        QVERIFY(m_panel->isVisible() && m_idcard->isHidden());
        QCOMPARE(Widget::instance()->currentWidgetType(), Widget::T_camare);
        QVERIFY(waitForNewFrame());
    }

    void listedCamera_thatWillNotOpen_saysSoInThePreview()
    {
        QMetaObject::invokeMethod(m_panel, "closeVieo", Q_ARG(bool, false));
        TavikCam_VirtualUnplug(); // still listed, no longer there
        QMetaObject::invokeMethod(m_panel, "openVideo");
        QVERIFY2(child<QLabel>("label")->text().contains(QStringLiteral("摄像头无法打开")), qPrintable(child<QLabel>("label")->text()));
        TavikCam_VirtualReplug();
        QMetaObject::invokeMethod(m_panel, "openVideo");
        QVERIFY(waitForNewFrame());
    }

    // Needs the virtual camera listed (the test above): its largest size is
    // the widest text of the size box.
    void rightColumn_everyCaptionWhole_atFirstSizeAndLarger_data()
    {
        QTest::addColumn<QSize>("window");
        QTest::newRow("first size") << QSize(1249, 561);
        QTest::newRow("wider") << QSize(1600, 700);
        QTest::newRow("full HD screen") << QSize(1920, 1040);
    }

    void rightColumn_everyCaptionWhole_atFirstSizeAndLarger()
    {
        QFETCH(QSize, window);
        child<QComboBox>("comboBox_FrmSize")->setCurrentText(QStringLiteral("3840*2160"));
        QCOMPARE(child<QComboBox>("comboBox_FrmSize")->currentText(), QStringLiteral("3840*2160"));
        m_window->resize(window);
        QWidget* column = child<QWidget>("SetWidget");
        column->layout()->activate();
        QCoreApplication::processEvents();
        for (QAbstractButton* button : column->findChildren<QAbstractButton*>()) {
            if (button->isVisible())
                QVERIFY2(button->width() >= button->sizeHint().width(),
                         qPrintable(QStringLiteral("%1: %2 < %3").arg(button->text()).arg(button->width()).arg(button->sizeHint().width())));
        }
        for (QLabel* label : column->findChildren<QLabel*>()) {
            const int needed = label->fontMetrics().horizontalAdvance(label->text());
            QVERIFY2(label->contentsRect().width() >= needed,
                     qPrintable(QStringLiteral("%1: %2 < %3").arg(label->text()).arg(label->contentsRect().width()).arg(needed)));
        }
        m_window->resize(1249, 561);
    }

    void cleanupTestCase()
    {
        windDown(m_panel);
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
