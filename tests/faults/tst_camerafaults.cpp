// The window with the virtual camera misbehaving: damaged and truncated
// frames, and the camera pulled out during a photo's save, a PDF's
// composition, at random moments and while a frame waits for the GUI.
#include "../app/testsupport.h"
#include "mainwidget.h"
#include "Thumbnail.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <atomic>
#include <random>

using namespace TestSupport;

namespace {

// Busy-waits without running the GUI's events; false on timeout.
template <typename Condition> bool spinUntil(Condition condition, int timeoutMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < timeoutMs)
        QThread::usleep(200);
    return condition();
}

} // namespace

class CameraFaultsTest : public QObject
{
    Q_OBJECT

    MainWidget* m_window = nullptr; // never deleted: destroying it ends the process
    BoxCloser m_boxes;
    Thumbnail* m_strip = nullptr;
    QTemporaryDir m_dir;
    int m_losses = 0; // losses caused so far: the warnings expected

    template <typename T> T* child(const char* name) { return m_window->findChild<T*>(QLatin1String(name)); }
    QComboBox* combo(const char* name) { return child<QComboBox>(name); }
    bool waitForNewFrame() { return TestSupport::waitForNewFrame(child<QLabel>("label")); }

    void choose(const QString& format, const QString& size)
    {
        combo("comboBox_PixelFormat")->setCurrentText(format);
        combo("comboBox_FrmSize")->setCurrentText(size);
        QCOMPARE(combo("comboBox_FrmSize")->currentText(), size);
    }

    // Unplugged: one more warning, the lists are empty and the preview points
    // to the button that enumerates again.
    void expectLossHandled()
    {
        ++m_losses;
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes.texts.count(QStringLiteral("摄像头已拔出")), m_losses, 5000);
        QCOMPARE(m_boxes.titles.last(), QStringLiteral("警告"));
        QVERIFY(child<QLabel>("label")->text().contains(QStringLiteral("初始化摄像头数据")));
        QVERIFY(combo("comboBox_devName")->count() == 0 && combo("comboBox_PixelFormat")->count() == 0 &&
                combo("comboBox_FrmSize")->count() == 0);
        QVERIFY(g_imageQueue.isEmpty());
    }

    void replugAndInit()
    {
        TavikCam_VirtualReplug();
        child<QPushButton>("pushButton_initData")->click();
        QVERIFY(combo("comboBox_devName")->count() == 1 && combo("comboBox_FrmSize")->count() > 0);
        QCOMPARE(combo("comboBox_PixelFormat")->currentText(), QStringLiteral("JPEG"));
    }

private slots:
    void initTestCase()
    {
        onlyVirtualCamera(true);
        m_window = new MainWidget;
        m_window->show();
        m_strip = child<Thumbnail>("listWidget");
        child<QLineEdit>("lineEdit")->setText(m_dir.path());
        QVERIFY(waitForNewFrame());
    }

    void damagedAndTruncatedFrames_previewKeepsRunning_data()
    {
        QTest::addColumn<QString>("size");
        QTest::addColumn<bool>("deskew");
        QTest::newRow("640*480, decoded whole") << "640*480" << false;
        QTest::newRow("1920*1080, decoded at a quarter, deskew") << "1920*1080" << true;
    }

    void damagedAndTruncatedFrames_previewKeepsRunning()
    {
        QFETCH(QString, size);
        QFETCH(bool, deskew);
        TavikCam_VirtualSetDamage(10, 10);
        choose(QStringLiteral("JPEG"), size); // restarts the stream: its first frame is damaged
        if (deskew)
            child<QCheckBox>("DeskImagecheck")->click();
        for (int painted = 0; painted < 30; ++painted)
            QVERIFY2(waitForNewFrame(), qPrintable(QStringLiteral("stalled after %1 frames").arg(painted)));
        TavikCam_VirtualSetDamage(0, 0);
        if (deskew)
            child<QCheckBox>("DeskImagecheck")->click();
        QVERIFY(m_boxes.texts.isEmpty()); // no loss reported
    }

    // The photo and the PDF are complete and listed all the same.
    void loss_duringPhotoSave_andDuringPdfComposition()
    {
        choose(QStringLiteral("JPEG"), QStringLiteral("1920*1080"));
        combo("comboBox_Pic")->setCurrentIndex(2); // PNG: the slowest writer
        QVERIFY(waitForNewFrame());
        child<QPushButton>("TakePhoto")->click();
        // The save has begun once its temporary file is there (a PNG of that
        // size takes far longer to write than one poll).
        QVERIFY(QTest::qWaitFor([this] { return !entriesOf(m_dir.path()).isEmpty(); }, 5000));
        TavikCam_VirtualUnplug();
        expectLossHandled();
        QTRY_COMPARE(m_strip->Count(), 1);
        const QString photo = m_strip->GetFilePaths().constLast();
        QCOMPARE(entriesOf(m_dir.path()), QStringList{QFileInfo(photo).fileName()});
        QCOMPARE(QImage(photo).size(), QSize(1920, 1080));
        replugAndInit();

        for (int i = 0; i < 6; ++i) { // noise: slow to compose, so the unplug lands inside
            QImage page(1600, 1200, QImage::Format_RGB32);
            QRandomGenerator(i).fillRange(reinterpret_cast<quint32*>(page.bits()), int(page.sizeInBytes() / 4));
            const QString path = m_dir.filePath(QStringLiteral("page%1.jpg").arg(i));
            QVERIFY(page.save(path) && m_strip->AddImage(path, -1));
        }
        QVERIFY(waitForNewFrame());
        std::atomic<bool> unplugged{false};
        std::thread unplugger([&] {
            // The composition has begun once the PDF's temporary file is there.
            unplugged = spinUntil([&] { return !entriesOf(m_dir.path()).filter(QStringLiteral("Pdf_")).isEmpty(); }, 10000);
            TavikCam_VirtualUnplug();
        });
        child<QPushButton>("pushButton")->click();
        unplugger.join();
        QVERIFY(unplugged);
        expectLossHandled();
        QCOMPARE(m_boxes.texts.filter(QStringLiteral("保存PDF成功")).size(), 1);
        const QString pdf = m_strip->GetFilePaths().constLast();
        QCOMPARE(entriesOf(m_dir.path()).filter(QStringLiteral("Pdf_")), QStringList{QFileInfo(pdf).fileName()}); // no temporary one
        replugAndInit();
    }

    void plugCycles_randomAndWhileFrameWaitsForGui_warnOncePerLoss_andListsComeBack()
    {
        std::mt19937 random(20261206); // fixed: a failure replays
        const QList<QPair<QString, QString>> modes{{"JPEG", "640*480"}, {"JPEG", "1280*720"}, {"YUYV", "640*480"}};
        for (int cycle = 0; cycle < 100; ++cycle) {
            if (random() % 4 == 0) {
                const auto& mode = modes.at(int(random() % modes.size()));
                choose(mode.first, mode.second);
            }
            if (cycle % 10 == 0) {
                // The GUI does not run: the next frame stays queued, and the
                // loss reports that follow it find a frame in flight.
                QVERIFY(spinUntil([] { return g_currentInfo.getImageOk.load(); }));
                TavikCam_VirtualUnplug();
                QThread::msleep(500);
            } else {
                QTest::qWait(int(random() % 120)); // from right after the open to a few frames in
                TavikCam_VirtualUnplug();
            }
            expectLossHandled();
            replugAndInit();
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(QStringLiteral("cycle %1").arg(cycle)));
        }
        QVERIFY(waitForNewFrame());
        QTest::qWait(500); // repeated loss reports of the last cycle are long over
        QCOMPARE(m_boxes.texts.count(QStringLiteral("摄像头已拔出")), m_losses);
    }

    void cleanupTestCase()
    {
        windDown(child<QWidget>("Dialog"));
    }
};

QTEST_MAIN(CameraFaultsTest)
#include "tst_camerafaults.moc"
