#include "camera_testing.h"
#include "frame_recorder.h"
#include "test_jpeg.h"

#include <QtTest>

namespace {

const char kPath[] = TAVIK_VIRTUAL_CAMERA_PATH;

bool isWholeJpeg(const QByteArray& f)
{
    return f.startsWith(QByteArray("\xFF\xD8", 2)) && f.endsWith(QByteArray("\xFF\xD9", 2));
}

int startStream(const char* format, int width = 640, int height = 480)
{
    const int handle = Video_Open(kPath);
    if (handle < 0 || Video_SetParam(handle, format, width, height) != 0
        || StartCapture(handle, FrameRecorder::callback) != 0) {
        Video_Close(handle);
        return -1;
    }
    return handle;
}

QByteArray firstFrame()
{
    FrameRecorder& recorder = FrameRecorder::instance();
    recorder.reset();
    const int handle = startStream("JPEG");
    if (!QTest::qWaitFor([&] { return recorder.frames >= 1; }, 5000))
        qWarning("no frame within 5 s");
    Video_Close(handle);
    return recorder.kept().empty() ? QByteArray() : recorder.kept().front();
}

} // namespace

class VirtualCameraTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        qputenv("TAVIK_VIRTUAL_CAMERA", "1");
        const char* none[] = {nullptr};
        TavikCam_SetDeviceNodes(none, 0);   // no real camera interferes
        FrameRecorder::instance().reset();
    }

    void cleanup()
    {
        deinitVideoData();
        TavikCam_VirtualReplug();
        TavikCam_VirtualSetDamage(0, 0);
    }

    void enumeration_listsVirtualCameraWithYuyvBeforeJpeg_lookupsOutsideGiveNull()
    {
        QCOMPARE(initVideoData(), 1);
        QCOMPARE(getVideoDeviceNum(), 1);
        VideoDeviceData* camera = getVideoDeviceByIndex(0);
        QVERIFY(camera);
        QCOMPARE(QByteArray(camera->devPath), QByteArray(kPath));
        QCOMPARE(getPixelFormatNum(camera), 2);
        QCOMPARE(QByteArray(getPixelFormatByIndex(camera, 0)->pixelformatTip), QByteArray("YUYV"));
        QCOMPARE(QByteArray(getPixelFormatByIndex(camera, 1)->pixelformatTip), QByteArray("JPEG"));
        PixelFormat* jpeg = getPixelFormatByFormatTip(camera, "JPEG");
        QCOMPARE(getFrmSizeNum(jpeg), 5);
        QCOMPARE(getFrmSizeNumByIndex(jpeg, 4)->width, 3840u);
        PixelFormat* yuyv = getPixelFormatByFormatTip(camera, "YUYV");
        QCOMPARE(getFrmSizeNum(yuyv), 3);
        QVERIFY(!getVideoDeviceByIndex(-1) && !getVideoDeviceByIndex(1));
        QVERIFY(!getPixelFormatByIndex(camera, 2) && !getPixelFormatByIndex(camera, -1));
        QVERIFY(!getFrmSizeNumByIndex(yuyv, 3) && !getFrmSizeNumByIndex(nullptr, 0));
        QVERIFY(!getPixelFormatByFormatTip(camera, "MJPG") && !getPixelFormatByFormatTip(nullptr, "JPEG"));
        deinitVideoData();
        QCOMPARE(getVideoDeviceNum(), 0);
        QVERIFY(!getVideoDeviceByIndex(0));
        qunsetenv("TAVIK_VIRTUAL_CAMERA");   // and without the variable there is no camera
        QVERIFY(initVideoData() < 0);
        QCOMPARE(getVideoDeviceNum(), 0);
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
        QTest::newRow("empty text") << QByteArray("") << 0 << false;
    }

    void lookupByName_matchesTheWholePathOnly()
    {
        QFETCH(QByteArray, name);
        QFETCH(int, length);
        QFETCH(bool, found);
        QCOMPARE(initVideoData(), 1);
        VideoDeviceData* camera = getVideoDeviceNodeByName(name.constData(), length);
        QCOMPARE(camera, found ? getVideoDeviceByIndex(0) : nullptr);
    }

    void setParam_acceptsOnlyListedModes_data()
    {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("result");
        QTest::newRow("JPEG 3840*2160") << QByteArray("JPEG") << QSize(3840, 2160) << 0;
        QTest::newRow("YUYV only up to 1080p") << QByteArray("YUYV") << QSize(3840, 2160) << -1;
        QTest::newRow("unlisted size") << QByteArray("JPEG") << QSize(641, 480) << -1;
        QTest::newRow("unknown format") << QByteArray("MJPG") << QSize(640, 480) << -1;
    }

    void setParam_acceptsOnlyListedModes()
    {
        QFETCH(QByteArray, format);
        QFETCH(QSize, size);
        QFETCH(int, result);
        const int handle = Video_Open(kPath);
        QVERIFY(handle >= 0);
        QCOMPARE(Video_SetParam(handle, format.constData(), size.width(), size.height()), result);
        QCOMPARE(Video_Close(handle), 0);
    }

    void calls_failOnWrongHandlesAndOrder()
    {
        QVERIFY(Video_Open("") < 0 && Video_Open(nullptr) < 0 && Video_Open("/dev/video-none") < 0);
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
        QCOMPARE(FrameRecorder::instance().frames.load(), 0);
    }

    void frames_arriveOnTheLibrarysThreadInTheSetFormat_data()
    {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QSize>("size");
        QTest::newRow("YUYV 640*480") << QByteArray("YUYV") << QSize(640, 480);
        QTest::newRow("JPEG 1920*1080") << QByteArray("JPEG") << QSize(1920, 1080);
    }

    void frames_arriveOnTheLibrarysThreadInTheSetFormat()
    {
        QFETCH(QByteArray, format);
        QFETCH(QSize, size);
        FrameRecorder& recorder = FrameRecorder::instance();
        const int handle = startStream(format.constData(), size.width(), size.height());
        QVERIFY(handle >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.frames >= 3, 5000);
        QCOMPARE(StopCapture(handle), 0);
        QCOMPARE(Video_Close(handle), 0);
        QVERIFY(!recorder.ranOnThread(std::this_thread::get_id()));
        const std::vector<QByteArray> frames = recorder.kept();
        for (const QByteArray& frame : frames) {
            if (format == "YUYV") {
                QCOMPARE(frame.size(), size.width() * size.height() * 2);
            } else {
                QVERIFY(isWholeJpeg(frame));
                QCOMPARE(decodeStrictly(frame).size(), size);
            }
        }
        QVERIFY(frames.size() >= 2);
        QVERIFY2(frames[0] != frames[1], "consecutive frames must differ so a frozen preview shows");
    }

    void stop_noCallbackRunsOrFollowsOnceItReturns()
    {
        FrameRecorder& recorder = FrameRecorder::instance();
        const int handle = startStream("JPEG");
        QVERIFY(handle >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.frames >= 2, 5000);
        QCOMPARE(StopCapture(handle), 0);
        QVERIFY(!recorder.running);
        const int frozen = recorder.frames;
        QTest::qWait(150);
        QCOMPARE(recorder.frames.load(), frozen);
        QCOMPARE(StopCapture(handle), 0);   // twice is harmless
        QCOMPARE(StartCapture(handle, FrameRecorder::callback), 0);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.frames > frozen, 5000);
        QCOMPARE(Video_Close(handle), 0);
        const int closed = recorder.frames;
        QTest::qWait(100);
        QCOMPARE(recorder.frames.load(), closed);
    }

    void stop_fromInsideTheCallbackEndsDelivery()
    {
        FrameRecorder& recorder = FrameRecorder::instance();
        const int handle = Video_Open(kPath);
        QCOMPARE(Video_SetParam(handle, "JPEG", 640, 480), 0);
        recorder.reset(3, handle);
        QCOMPARE(StartCapture(handle, FrameRecorder::callback), 0);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.stopResult.load(), 0, 5000);
        QTest::qWait(150);
        QCOMPARE(recorder.frames.load(), 3);
        // The next start joins the stopped thread and streams anew.
        recorder.reset();
        QCOMPARE(StartCapture(handle, FrameRecorder::callback), 0);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.frames >= 1, 5000);
        QCOMPARE(Video_Close(handle), 0);
    }

    void unplug_reportsLossUntilStopAndHidesTheCameraUntilReplug()
    {
        FrameRecorder& recorder = FrameRecorder::instance();
        QCOMPARE(initVideoData(), 1);
        const int handle = startStream("JPEG");
        QVERIFY(handle >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.frames >= 1, 5000);
        TavikCam_VirtualUnplug();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.losses >= 3, 5000);
        const int framesAtLoss = recorder.frames;
        QCOMPARE(StopCapture(handle), 0);
        const int losses = recorder.losses;
        QTest::qWait(300);
        QCOMPARE(recorder.losses.load(), losses);
        QVERIFY(recorder.frames <= framesAtLoss + 1);
        QCOMPARE(Video_Close(handle), 0);

        QVERIFY(Video_Open(kPath) < 0);
        QVERIFY(initVideoData() < 0);
        QCOMPARE(getVideoDeviceNum(), 0);
        TavikCam_VirtualReplug();
        QCOMPARE(initVideoData(), 1);
        QCOMPARE(QByteArray(getVideoDeviceByIndex(0)->devPath), QByteArray(kPath));
    }

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
        const QByteArray intact = firstFrame();
        TavikCam_VirtualSetDamage(damaged, truncated);
        const QByteArray spoiled = firstFrame();   // a new handle starts with the same picture
        QVERIFY(!intact.isEmpty() && isWholeJpeg(spoiled));
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
