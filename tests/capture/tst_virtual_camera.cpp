// The capture interface end to end, with the virtual document camera.
#include "camera.h"
#include "camera_testing.h"
#include "frame_recorder.h"
#include "test_jpeg.h"

#include <QtTest>

#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

const char kPath[] = TAVIK_VIRTUAL_CAMERA_PATH;

bool isWholeJpeg(const QByteArray& f)
{
    return f.startsWith(QByteArray("\xFF\xD8", 2)) && f.endsWith(QByteArray("\xFF\xD9", 2));
}

// Opens, sets and starts the virtual camera; -1 when any step fails.
int startStream(const char* format, int width, int height)
{
    const int handle = Video_Open(kPath);
    if (handle < 0 || Video_SetParam(handle, format, width, height) != 0
        || StartCapture(handle, FrameRecorder::callback) != 0) {
        Video_Close(handle);
        return -1;
    }
    return handle;
}

} // namespace

class VirtualCameraTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        qputenv("TAVIK_VIRTUAL_CAMERA", "1");
        qunsetenv("TAVIK_VIRTUAL_FPS");
        const char* none[] = {nullptr};
        TavikCam_SetDeviceNodes(none, 0);   // no real camera interferes
        TavikCam_VirtualReplug();
        TavikCam_VirtualSetDamage(0, 0);
        FrameRecorder::instance().reset();
    }

    void cleanup()
    {
        deinitVideoData();
        TavikCam_VirtualReplug();
        TavikCam_VirtualSetDamage(0, 0);
    }

    // ---- enumeration and lookups

    void enumeration_listsVirtualCameraWithYuyvBeforeJpeg()
    {
        QCOMPARE(initVideoData(), 1);
        QCOMPARE(getVideoDeviceNum(), 1);
        VideoDeviceData* camera = getVideoDeviceByIndex(0);
        QVERIFY(camera);
        QCOMPARE(QByteArray(camera->devPath), QByteArray(kPath));
        QVERIFY(std::strlen(camera->cardName) > 0);
        QCOMPARE(getPixelFormatNum(camera), 2);
        QCOMPARE(QByteArray(getPixelFormatByIndex(camera, 0)->pixelformatTip), QByteArray("YUYV"));
        QCOMPARE(QByteArray(getPixelFormatByIndex(camera, 1)->pixelformatTip), QByteArray("JPEG"));
        PixelFormat* jpeg = getPixelFormatByFormatTip(camera, "JPEG");
        QCOMPARE(getFrmSizeNum(jpeg), 5);
        QCOMPARE(getFrmSizeNumByIndex(jpeg, 4)->width, 3840u);
        QCOMPARE(getFrmSizeNumByIndex(jpeg, 4)->height, 2160u);
        QCOMPARE(getFrmSizeNum(getPixelFormatByFormatTip(camera, "YUYV")), 3);
    }

    void enumeration_findsNothingWithoutTheVariable()
    {
        qunsetenv("TAVIK_VIRTUAL_CAMERA");
        QVERIFY(initVideoData() < 0);
        QCOMPARE(getVideoDeviceNum(), 0);
        QVERIFY(!getVideoDeviceByIndex(0));
    }

    void lookups_returnNullOutsideTheLists()
    {
        QCOMPARE(initVideoData(), 1);
        VideoDeviceData* camera = getVideoDeviceByIndex(0);
        PixelFormat* yuyv = getPixelFormatByIndex(camera, 0);
        QVERIFY(!getVideoDeviceByIndex(-1));
        QVERIFY(!getVideoDeviceByIndex(1));
        QVERIFY(!getPixelFormatByIndex(camera, 2));
        QVERIFY(!getPixelFormatByIndex(camera, -1));
        QVERIFY(!getPixelFormatByIndex(nullptr, 0));
        QVERIFY(!getFrmSizeNumByIndex(yuyv, 3));
        QVERIFY(!getFrmSizeNumByIndex(nullptr, 0));
        QCOMPARE(getPixelFormatNum(nullptr), 0);
        QCOMPARE(getFrmSizeNum(nullptr), 0);
        QVERIFY(!getPixelFormatByFormatTip(camera, "MJPG"));
        QVERIFY(!getPixelFormatByFormatTip(nullptr, "JPEG"));
        deinitVideoData();
        QCOMPARE(getVideoDeviceNum(), 0);
        QVERIFY(!getVideoDeviceByIndex(0));
    }

    void lookupByName_matchesTheWholePathOnly_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("found");
        const QByteArray path(kPath);
        QTest::newRow("exact path") << path << path.size() << true;
        QTest::newRow("length -1 reads to NUL") << path << -1 << true;
        QTest::newRow("prefix") << path << path.size() - 3 << false;
        QTest::newRow("unknown node") << QByteArray("/dev/video9") << 11 << false;
        QTest::newRow("empty text") << QByteArray("") << 0 << false;
    }

    void lookupByName_matchesTheWholePathOnly()
    {
        QFETCH(QByteArray, name);
        QFETCH(int, length);
        QFETCH(bool, found);
        QCOMPARE(initVideoData(), 1);
        VideoDeviceData* camera = getVideoDeviceNodeByName(name.constData(), length);
        QCOMPARE(camera != nullptr, found);
        if (found)
            QCOMPARE(camera, getVideoDeviceByIndex(0));
    }

    // ---- stream control

    void setParam_acceptsOnlyListedModes_data()
    {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("result");
        QTest::newRow("YUYV 640*480") << QByteArray("YUYV") << 640 << 480 << 0;
        QTest::newRow("JPEG 3840*2160") << QByteArray("JPEG") << 3840 << 2160 << 0;
        QTest::newRow("YUYV only up to 1080p") << QByteArray("YUYV") << 3840 << 2160 << -1;
        QTest::newRow("unlisted size") << QByteArray("JPEG") << 641 << 480 << -1;
        QTest::newRow("unknown format") << QByteArray("MJPG") << 640 << 480 << -1;
        QTest::newRow("empty size") << QByteArray("JPEG") << 0 << 0 << -1;
    }

    void setParam_acceptsOnlyListedModes()
    {
        QFETCH(QByteArray, format);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, result);
        const int handle = Video_Open(kPath);
        QVERIFY(handle >= 0);
        QCOMPARE(Video_SetParam(handle, format.constData(), width, height), result);
        QCOMPARE(Video_Close(handle), 0);
    }

    void calls_failOnWrongHandlesAndOrder()
    {
        QVERIFY(Video_Open("") < 0);
        QVERIFY(Video_Open(nullptr) < 0);
        QVERIFY(Video_Open("/dev/video-none") < 0);
        QCOMPARE(Video_SetParam(12345, "JPEG", 640, 480), -1);
        QCOMPARE(StartCapture(12345, FrameRecorder::callback), -1);
        QCOMPARE(StopCapture(12345), -1);
        QCOMPARE(Video_Close(12345), -1);
        const int handle = Video_Open(kPath);
        QVERIFY(handle >= 0);
        QCOMPARE(StartCapture(handle, FrameRecorder::callback), -1);   // no format set yet
        QCOMPARE(Video_SetParam(handle, "JPEG", 640, 480), 0);
        QCOMPARE(StartCapture(handle, nullptr), -1);
        QCOMPARE(Video_Close(handle), 0);
        QCOMPARE(Video_Close(handle), -1);
        QCOMPARE(FrameRecorder::instance().frameCount(), 0);
    }

    // ---- frames

    void frames_arriveOnTheLibrarysThreadInTheSetFormat_data()
    {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("YUYV 640*480") << QByteArray("YUYV") << 640 << 480;
        QTest::newRow("JPEG 640*480") << QByteArray("JPEG") << 640 << 480;
        QTest::newRow("JPEG 1920*1080") << QByteArray("JPEG") << 1920 << 1080;
    }

    void frames_arriveOnTheLibrarysThreadInTheSetFormat()
    {
        QFETCH(QByteArray, format);
        QFETCH(int, width);
        QFETCH(int, height);
        FrameRecorder& recorder = FrameRecorder::instance();
        const int handle = startStream(format.constData(), width, height);
        QVERIFY(handle >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.frameCount() >= 3, 5000);
        QCOMPARE(StopCapture(handle), 0);
        QCOMPARE(Video_Close(handle), 0);
        QVERIFY(!recorder.ranOnThread(std::this_thread::get_id()));
        for (const QByteArray& frame : recorder.frames()) {
            if (format == "YUYV") {
                QCOMPARE(frame.size(), width * height * 2);
            } else {
                QVERIFY(isWholeJpeg(frame));
                QCOMPARE(decodeStrictly(frame).size(), QSize(width, height));
            }
        }
        const std::vector<QByteArray> frames = recorder.frames();
        QVERIFY(frames.size() >= 2);
        QVERIFY2(frames[0] != frames[1], "consecutive frames must differ so a frozen preview shows");
    }

    void frames_followTheOverriddenRate()
    {
        // A slow rate, so that a loaded machine can only make it slower still.
        qputenv("TAVIK_VIRTUAL_FPS", "2");
        FrameRecorder& recorder = FrameRecorder::instance();
        const int handle = startStream("JPEG", 640, 480);   // 30 fps unless overridden
        QVERIFY(handle >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.frameCount() >= 1, 5000);
        QTest::qWait(1000);
        StopCapture(handle);
        Video_Close(handle);
        QVERIFY2(recorder.frameCount() <= 4, qPrintable(QString::number(recorder.frameCount())));
    }

    // ---- stopping

    void stop_noCallbackRunsOrFollowsOnceItReturns()
    {
        FrameRecorder& recorder = FrameRecorder::instance();
        const int handle = startStream("JPEG", 640, 480);
        QVERIFY(handle >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.frameCount() >= 2, 5000);
        QCOMPARE(StopCapture(handle), 0);
        QVERIFY(!recorder.callbackRunning());
        const int frozen = recorder.frameCount();
        QTest::qWait(150);
        QCOMPARE(recorder.frameCount(), frozen);
        QCOMPARE(StopCapture(handle), 0);   // twice is harmless
        // The same handle streams again after a stop.
        QCOMPARE(StartCapture(handle, FrameRecorder::callback), 0);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.frameCount() > frozen, 5000);
        QCOMPARE(Video_Close(handle), 0);
        const int closed = recorder.frameCount();
        QTest::qWait(100);
        QCOMPARE(recorder.frameCount(), closed);
    }

    void stop_fromInsideTheCallbackEndsDelivery()
    {
        FrameRecorder& recorder = FrameRecorder::instance();
        const int handle = Video_Open(kPath);
        QVERIFY(handle >= 0);
        QCOMPARE(Video_SetParam(handle, "JPEG", 640, 480), 0);
        recorder.reset(3, handle);
        QCOMPARE(StartCapture(handle, FrameRecorder::callback), 0);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.stopResult(), 0, 5000);
        QTest::qWait(150);
        QCOMPARE(recorder.frameCount(), 3);
        // The next start joins the stopped thread and streams anew.
        recorder.reset();
        QCOMPARE(StartCapture(handle, FrameRecorder::callback), 0);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.frameCount() >= 1, 5000);
        QCOMPARE(Video_Close(handle), 0);
    }

    // ---- unplugging

    void unplug_reportsLossRepeatedlyUntilStop()
    {
        FrameRecorder& recorder = FrameRecorder::instance();
        const int handle = startStream("JPEG", 640, 480);
        QVERIFY(handle >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.frameCount() >= 1, 5000);
        TavikCam_VirtualUnplug();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.lossCount() >= 3, 5000);
        const int framesAtLoss = recorder.frameCount();
        QCOMPARE(StopCapture(handle), 0);
        const int losses = recorder.lossCount();
        QTest::qWait(300);
        QCOMPARE(recorder.lossCount(), losses);
        QVERIFY(recorder.frameCount() <= framesAtLoss + 1);
        QCOMPARE(Video_Close(handle), 0);
    }

    void unplug_hidesTheCameraUntilReplug()
    {
        QCOMPARE(initVideoData(), 1);
        TavikCam_VirtualUnplug();
        QVERIFY(Video_Open(kPath) < 0);
        QVERIFY(initVideoData() < 0);
        QCOMPARE(getVideoDeviceNum(), 0);
        TavikCam_VirtualReplug();
        QCOMPARE(initVideoData(), 1);
        QCOMPARE(QByteArray(getVideoDeviceByIndex(0)->devPath), QByteArray(kPath));
    }

    // ---- injected damage

    void damage_passesDeliveryChecksButSpoilsThePicture_data()
    {
        QTest::addColumn<int>("damaged");
        QTest::addColumn<int>("truncated");
        QTest::newRow("damaged entropy data") << 100 << 0;
        QTest::newRow("cut short") << 0 << 100;
    }

    void damage_passesDeliveryChecksButSpoilsThePicture()
    {
        QFETCH(int, damaged);
        QFETCH(int, truncated);
        FrameRecorder& recorder = FrameRecorder::instance();
        int handle = startStream("JPEG", 640, 480);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.frameCount() >= 1, 5000);
        Video_Close(handle);
        const QByteArray intact = recorder.frames().front();

        recorder.reset();
        TavikCam_VirtualSetDamage(damaged, truncated);
        handle = startStream("JPEG", 640, 480);   // a new handle starts with the same picture
        QTRY_VERIFY_WITH_TIMEOUT(recorder.frameCount() >= 1, 5000);
        Video_Close(handle);
        const QByteArray spoiled = recorder.frames().front();
        QVERIFY(isWholeJpeg(spoiled));
        QVERIFY(spoiled != intact);
        QVERIFY(decodeStrictly(spoiled).isNull());
        if (truncated)
            QVERIFY(spoiled.size() < intact.size() * 3 / 4);
        else
            QCOMPARE(spoiled.size(), intact.size());
    }
};

QTEST_GUILESS_MAIN(VirtualCameraTest)
#include "tst_virtual_camera.moc"
