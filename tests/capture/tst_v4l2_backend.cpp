#include "fake_uvc_device.h"
#include "frame_recorder.h"
#include "test_jpeg.h"

#include <QtTest>

#include <memory>

using Frame = FakeUvcDevice::Frame;
using Frames = std::vector<Frame>;
using Unplug = FakeUvcDevice::Unplug;
Q_DECLARE_METATYPE(Frames)
Q_DECLARE_METATYPE(FakeUvcDevice::Unplug)

namespace {

constexpr int kW = 160;
constexpr int kH = 120;

// A 160x120 YUYV picture whose row y holds the byte y + shift, each row
// followed by 'padding' bytes of 0xAB.
QByteArray yuyvRows(int padding, char shift = 0)
{
    QByteArray bytes;
    for (int y = 0; y < kH; ++y)
        bytes += QByteArray(kW * 2, char(y + shift)) + QByteArray(padding, '\xAB');
    return bytes;
}

QString sizesOf(PixelFormat* format)
{
    QStringList sizes;
    for (int i = 0; i < getFrmSizeNum(format); ++i)
        sizes << QString("%1*%2").arg(getFrmSizeNumByIndex(format, i)->width).arg(getFrmSizeNumByIndex(format, i)->height);
    return sizes.join(' ');
}

} // namespace

class V4l2BackendTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeUvcDevice> m_fake;

    int startStream(const char* format)
    {
        const int handle = Video_Open("/fake/video0");
        const bool yuyv = QByteArray(format) == "YUYV";
        if (Video_SetParam(handle, format, yuyv ? kW : 320, yuyv ? kH : 240) != 0
            || StartCapture(handle, FrameRecorder::callback) != 0)
            return -1;
        return handle;
    }

    bool released() const { return m_fake->mapped == 0 && m_fake->openFds == 0; }

private slots:
    void init()
    {
        qunsetenv("TAVIK_VIRTUAL_CAMERA");
        FrameRecorder::instance().reset();
        m_fake = std::make_unique<FakeUvcDevice>();
    }

    void cleanup()
    {
        deinitVideoData();
        m_fake.reset();
    }

    void enumeration_listsOnlyTheCaptureNodeWithDeliverableFormats()
    {
        QCOMPARE(initVideoData(), 1);
        VideoDeviceData* camera = getVideoDeviceByIndex(0);
        QCOMPARE(QByteArray(camera->devPath), QByteArray("/fake/video0"));
        QCOMPARE(QByteArray(camera->cardName), QByteArray("Fake UVC Camera"));
        QCOMPARE(getPixelFormatNum(camera), 2);
        PixelFormat* yuyv = getPixelFormatByIndex(camera, 0);
        PixelFormat* jpeg = getPixelFormatByIndex(camera, 1);
        QCOMPARE(QByteArray(yuyv->pixelformatTip), QByteArray("YUYV"));
        QCOMPARE(QByteArray(jpeg->pixelformatTip), QByteArray("JPEG"));
        QCOMPARE(jpeg->pixelformat, unsigned(V4L2_PIX_FMT_MJPEG));
        QCOMPARE(sizesOf(yuyv), QString("160*120 640*480"));
        // The stepwise range offers the common sizes on its steps.
        QCOMPARE(sizesOf(jpeg), QString("320*240 640*480 800*600 1024*768 1280*720 1280*960 1920*1080"));
        QVERIFY(released());
    }

    void open_refusesNodesThatCannotStream()
    {
        QVERIFY(Video_Open("/fake/video1") < 0);   // metadata node
        QVERIFY(Video_Open("/fake/video2") < 0);   // permission denied
        QVERIFY(released());
    }

    void setParam_failsWhenTheDriverAdjusts_data()
    {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("result");
        QTest::newRow("YUYV adjusted") << QByteArray("YUYV") << QSize(800, 600) << -1;
        QTest::newRow("JPEG on the steps") << QByteArray("JPEG") << QSize(1280, 720) << 0;
        QTest::newRow("JPEG off the steps") << QByteArray("JPEG") << QSize(1290, 720) << -1;
        QTest::newRow("format not delivered") << QByteArray("H264") << QSize(1920, 1080) << -1;
    }

    void setParam_failsWhenTheDriverAdjusts()
    {
        QFETCH(QByteArray, format);
        QFETCH(QSize, size);
        QFETCH(int, result);
        const int handle = Video_Open("/fake/video0");
        QVERIFY(handle >= 0);
        QCOMPARE(Video_SetParam(handle, format.constData(), size.width(), size.height()), result);
        if (result == 0)
            QCOMPARE(m_fake->setDenominator, 30u);   // the fastest interval, not the default 1/5
        QCOMPARE(Video_Close(handle), 0);
        QVERIFY(released());
    }

    void start_failsWithoutUsbBandwidth()
    {
        m_fake->noBandwidth = true;
        const int handle = Video_Open("/fake/video0");
        QCOMPARE(Video_SetParam(handle, "YUYV", kW, kH), 0);
        QCOMPARE(StartCapture(handle, FrameRecorder::callback), -1);
        QCOMPARE(m_fake->mapped.load(), 0);
        QCOMPARE(Video_Close(handle), 0);
    }

    void delivery_data()
    {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<unsigned>("bytesPerLine");
        QTest::addColumn<Frames>("frames");
        QTest::addColumn<QByteArray>("expected");   // empty: decodes like the original JPEG
        const QByteArray packed = yuyvRows(0);
        const QByteArray yuyv("YUYV");
        QTest::newRow("YUYV padded rows are repacked") << yuyv << unsigned(kW * 2 + 16) << Frames{{yuyvRows(16)}} << packed;
        QTest::newRow("YUYV short frame is skipped")
            << yuyv << 0u << Frames{{packed, 0, packed.size() - 1}, {packed}} << packed;
        QTest::newRow("error-flagged buffer is skipped")
            << yuyv << 0u << Frames{{yuyvRows(0, 7), V4L2_BUF_FLAG_ERROR}, {packed}} << packed;
        QTest::newRow("empty buffer is skipped") << yuyv << 0u << Frames{{yuyvRows(0, 9), 0, 0}, {packed}} << packed;
        QTest::newRow("MJPEG without Huffman tables gets them")
            << QByteArray("JPEG") << 0u << Frames{{withoutHuffmanTables(quadrantJpeg())}} << QByteArray();
    }

    void delivery()
    {
        QFETCH(QByteArray, format);
        QFETCH(unsigned, bytesPerLine);
        QFETCH(Frames, frames);
        QFETCH(QByteArray, expected);
        m_fake->bytesPerLine = bytesPerLine;
        m_fake->frames = frames;
        FrameRecorder& recorder = FrameRecorder::instance();
        const int handle = startStream(format.constData());
        QVERIFY(handle >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.frames >= 3, 5000);
        QCOMPARE(StopCapture(handle), 0);
        QCOMPARE(Video_Close(handle), 0);
        const QImage original = decodeStrictly(quadrantJpeg());
        for (const QByteArray& delivered : recorder.kept()) {
            if (expected.isEmpty())
                QCOMPARE(decodeStrictly(delivered), original);
            else
                QCOMPARE(delivered, expected);
        }
        QVERIFY(m_fake->minQueued >= 1);
        QCOMPARE(m_fake->streamOffs, 1);
        QVERIFY(released());
    }

    void unplug_reportsLossUntilStop_data()
    {
        QTest::addColumn<Unplug>("how");
        QTest::newRow("POLLERR from poll") << Unplug::PollError;
        QTest::newRow("silence, then ENODEV from QUERYCAP") << Unplug::SilentThenGone;
        QTest::newRow("EIO from DQBUF") << Unplug::DqbufEio;
    }

    void unplug_reportsLossUntilStop()
    {
        QFETCH(Unplug, how);
        m_fake->frames = {{yuyvRows(0)}};
        FrameRecorder& recorder = FrameRecorder::instance();
        const int handle = startStream("YUYV");
        QVERIFY(handle >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.frames >= 1, 5000);
        m_fake->unplug = how;
        QTRY_VERIFY_WITH_TIMEOUT(recorder.losses >= 2, 5000);
        QCOMPARE(StopCapture(handle), 0);
        const int losses = recorder.losses;
        QTest::qWait(250);
        QCOMPARE(recorder.losses.load(), losses);
        QCOMPARE(Video_Close(handle), 0);
        QVERIFY(released());
        QVERIFY(initVideoData() < 0 || how == Unplug::DqbufEio);
    }
};

QTEST_GUILESS_MAIN(V4l2BackendTest)
#include "tst_v4l2_backend.moc"
