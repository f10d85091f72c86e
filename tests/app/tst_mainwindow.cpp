// The window end to end with the virtual document camera: the main window, the
// camera panel's construction and chain, live frames and the switch to the
// ID-card panel and back (camera loss: tests/faults/tst_camerafaults.cpp).
#include "idcardwidget.h"
#include "mainwidget.h"
#include "testsupport.h"
#include "Thumbnail.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
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

    void window_firstSizeColour_andPanelsFollowResizes()
    {
        QCOMPARE(m_window->size(), QSize(1249, 561));
        QCOMPARE(m_window->palette().color(QPalette::Window), QColor(0, 205, 205));
        QVERIFY(m_camera->isVisible() && m_idcard->isHidden());
        QCOMPARE(m_idcard->minimumSize(), QSize(1249, 561));
        m_window->resize(1400, 700);
        QCOMPARE(m_camera->size(), QSize(1400, 700));
        QCOMPARE(m_idcard->size(), QSize(1400, 700)); // hidden, yet resized
        m_window->resize(1249, 561);
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
