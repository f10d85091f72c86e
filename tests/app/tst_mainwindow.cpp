// The window end to end with the virtual document camera: the main window, the
// camera panel's construction and chain, live frames and the switch to the
// ID-card panel and back (camera loss: tests/faults/tst_camerafaults.cpp).
#include "idcardwidget.h"
#include "mainwidget.h"
#include "testsupport.h"
#include "Thumbnail.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using namespace TestSupport;

class MainWindowTest : public QObject
{
    Q_OBJECT

    MainWidget* m_window = nullptr; // never deleted: destroying it ends the process
    QWidget* m_camera = nullptr;
    idcardwidget* m_idcard = nullptr;

    template <typename T> T* child(const char* name) { return m_window->findChild<T*>(QLatin1String(name)); }
    QComboBox* combo(const char* name) { return child<QComboBox>(name); }
    QPixmap shown() { return child<QLabel>("label")->pixmap(Qt::ReturnByValue); }

    QStringList items(const char* name)
    {
        QStringList texts;
        for (int i = 0; i < combo(name)->count(); ++i)
            texts << combo(name)->itemText(i);
        return texts;
    }

    bool waitForNewFrame() { return TestSupport::waitForNewFrame(child<QLabel>("label")); }

private slots:
    void initTestCase()
    {
        onlyVirtualCamera(true);
        m_window = new MainWidget;
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        m_camera = child<QWidget>("Dialog");
        m_idcard = m_window->findChild<idcardwidget*>();
        QVERIFY(m_camera && m_idcard);
    }

    void window_firstSizeBackgroundAndPanels()
    {
        QCOMPARE(m_window->size(), QSize(1249, 561));
        QCOMPARE(m_window->palette().color(QPalette::Window), QColor(0, 205, 205));
        QCOMPARE(QColor(m_window->grab().toImage().pixel(m_window->width() - 1, m_window->height() - 1)),
                 QColor(0, 205, 205));
        QVERIFY(m_camera->isVisible());
        QVERIFY(m_idcard->isHidden());
        QCOMPARE(m_idcard->minimumSize(), QSize(1249, 561));
    }

    void window_resizesBothPanels_data()
    {
        QTest::addColumn<QSize>("windowSize");
        QTest::addColumn<QSize>("idcardSize");
        QTest::newRow("larger") << QSize(1400, 700) << QSize(1400, 700);
        QTest::newRow("smaller: ID-card panel keeps its minimum") << QSize(1100, 500) << QSize(1249, 561);
    }

    void window_resizesBothPanels()
    {
        QFETCH(QSize, windowSize);
        QFETCH(QSize, idcardSize);
        m_window->resize(windowSize);
        QTRY_COMPARE(m_camera->size(), windowSize);
        QCOMPARE(m_idcard->size(), idcardSize);
        m_window->resize(1249, 561);
        QTRY_COMPARE(m_camera->size(), QSize(1249, 561));
    }

    void panel_texts()
    {
        const QList<QPair<const char*, const char*>> rows{
            {"pushButton_initData", "初始化摄像头数据"}, {"label_2", "设备名："}, {"label_4", "出图模式："},
            {"label_3", "分辨率："}, {"label_5", "照片格式:"}, {"label_6", "保存路径："},
            {"DeskImagecheck", "纠偏"}, {"pushButton_openDir", "打开目录"}, {"OpenVideo", "打开视频"},
            {"TakePhoto", "拍照"}, {"closeCamera", "合成PDF"}, {"radioButton_noRotate", "不旋转"},
            {"radioButton_90Rotate", "旋转90度"}, {"radioButton_180Rotate", "旋转180度"},
            {"radioButton_270Rotate", "旋转270"}, {"pushButton", "合成PDF"}, {"pushButton_iccard", "切换身份证扫描"}};
        for (const auto& row : rows) {
            QObject* widget = m_window->findChild<QObject*>(QLatin1String(row.first));
            QVERIFY2(widget, row.first);
            QCOMPARE(widget->property("text").toString(), QString::fromUtf8(row.second));
        }
    }

    void panel_constructionDefaults()
    {
        for (const char* hidden : {"OpenVideo", "closeCamera", "pushButton_iccard"})
            QVERIFY2(child<QWidget>(hidden)->isHidden(), hidden);
        auto* noRotate = child<QRadioButton>("radioButton_noRotate");
        QVERIFY(noRotate->isChecked());
        QButtonGroup* group = noRotate->group();
        QVERIFY(group && group->exclusive());
        QCOMPARE(group->buttons().size(), 4);
        QCOMPARE(group->id(child<QRadioButton>("radioButton_270Rotate")), 3);
        QVERIFY(!child<QCheckBox>("DeskImagecheck")->isChecked());
        QCOMPARE(items("comboBox_Pic"), (QStringList{"JPG", "BMP", "PNG"}));
        QCOMPARE(combo("comboBox_Pic")->currentIndex(), 0);
        const QString folder = QDir::tempPath() + QStringLiteral("/tavik_files");
        QCOMPARE(child<QLineEdit>("lineEdit")->text(), folder);
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(child<Thumbnail>("listWidget")->width(), 150);
    }

    void chain_prefersJpeg_andShowsFrames()
    {
        QCOMPARE(items("comboBox_devName"), QStringList{TAVIK_VIRTUAL_CAMERA_PATH});
        QCOMPARE(items("comboBox_PixelFormat"), (QStringList{"YUYV", "JPEG"}));
        QCOMPARE(combo("comboBox_PixelFormat")->currentText(), QStringLiteral("JPEG"));
        QVERIFY(!child<QCheckBox>("DeskImagecheck")->isHidden());
        QVERIFY(waitForNewFrame());
    }

    void chain_sizeChoiceSetsFrameSize_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("size");
        QTest::addColumn<unsigned>("frmsize");
        QTest::addColumn<bool>("deskewOffered");
        QTest::newRow("JPEG 1280*720") << "JPEG" << "1280*720" << 921600u << true;
        QTest::newRow("YUYV 640*480") << "YUYV" << "640*480" << 307200u << false;
        QTest::newRow("JPEG 640*480") << "JPEG" << "640*480" << 307200u << true;
    }

    void chain_sizeChoiceSetsFrameSize()
    {
        QFETCH(QString, format);
        QFETCH(QString, size);
        QFETCH(unsigned, frmsize);
        QFETCH(bool, deskewOffered);
        combo("comboBox_PixelFormat")->setCurrentText(format);
        QCOMPARE(child<QCheckBox>("DeskImagecheck")->isHidden(), !deskewOffered);
        combo("comboBox_FrmSize")->setCurrentText(size);
        QCOMPARE(g_currentInfo.g_frmsize, frmsize);
        QCOMPARE(g_stream.pixelFormat, format);
        QVERIFY(waitForNewFrame());
        const QSize painted = shown().size();
        QVERIFY(painted.width() > painted.height());
    }

    void chain_refillsNeverRunTheirOwnSlot()
    {
        LogCapture log;
        QMetaObject::invokeMethod(m_camera, "ChangeDev", Q_ARG(int, 0));
        QCOMPARE(log.countContaining(QStringLiteral("cameraWidget::ChangeDev")), 1);
        QCOMPARE(log.countContaining(QStringLiteral("cameraWidget::ChangeSub")), 1);
        QCOMPARE(log.countContaining(QStringLiteral("cameraWidget::ChangeRes")), 1);
        QCOMPARE(combo("comboBox_PixelFormat")->currentText(), QStringLiteral("JPEG"));
        QCOMPARE(combo("comboBox_FrmSize")->currentIndex(), 0);
    }

    void idcardPanel_switchesThereAndBackThroughCoordinator()
    {
        QMetaObject::invokeMethod(m_camera, "changeIcWidget");
        QVERIFY(m_camera->isHidden());
        QVERIFY(m_idcard->isVisible());
        QCOMPARE(Widget::instance()->currentWidgetType(), Widget::T_idcard);

        QPushButton* scan = nullptr;
        QPushButton* back = nullptr;
        for (QPushButton* button : m_idcard->findChildren<QPushButton*>()) {
            if (button->text() == QStringLiteral("开始扫描"))
                scan = button;
            if (button->text() == QStringLiteral("切换高拍仪"))
                back = button;
        }
        QVERIFY(scan && back);
        scan->click();
        QVERIFY(m_idcard->isVisible());
        QVERIFY(m_camera->isHidden());

        back->click();
        QVERIFY(m_camera->isVisible());
        QVERIFY(m_idcard->isHidden());
        QCOMPARE(Widget::instance()->currentWidgetType(), Widget::T_camare);
        QVERIFY(waitForNewFrame());
    }

    void cleanupTestCase()
    {
        // Stop the capture thread before the process's statics go.
        QMetaObject::invokeMethod(m_camera, "closeVieo", Q_ARG(bool, false));
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
