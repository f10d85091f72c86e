// The V4L2 backend against a fake UVC camera behind the system-call seam.
#include "camera.h"
#include "camera_testing.h"
#include "fake_uvc_device.h"
#include "frame_recorder.h"
#include "test_jpeg.h"

#include <QtTest>

#include <linux/videodev2.h>
#include <memory>

using Frame = FakeUvcDevice::Frame;
using Frames = std::vector<Frame>;
Q_DECLARE_METATYPE(Frames)
Q_DECLARE_METATYPE(FakeUvcDevice::Unplug)

namespace {

constexpr int kW = 160;
constexpr int kH = 120;

// A 160x120 YUYV picture whose row y holds the byte y, each row followed
// by 'padding' bytes of 0xAB.
QByteArray yuyvRows(int padding, char shift = 0)
{
    QByteArray bytes;
    for (int y = 0; y < kH; ++y)
        bytes += QByteArray(kW * 2, static_cast<char>(y + shift)) + QByteArray(padding, '\xAB');
    return bytes;
}

Frame frame(const QByteArray& bytes, unsigned flags = 0, int bytesUsed = -1)
{
    return Frame{bytes, flags, bytesUsed};
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
        QCOMPARE(jpeg->pixelformat, static_cast<unsigned>(V4L2_PIX_FMT_MJPEG));
        QCOMPARE(sizesOf(yuyv), QString("160*120 640*480"));
        // The stepwise range offers the common sizes on its steps.
        QCOMPARE(sizesOf(jpeg), QString("320*240 640*480 800*600 1024*768 1280*720 1280*960 1920*1080"));
        QCOMPARE(m_fake->openDescriptors(), 0);
    }

    void open_refusesNodesThatCannotStream()
    {
        QVERIFY(Video_Open("/fake/video1") < 0);   // metadata node
        QVERIFY(Video_Open("/fake/video2") < 0);   // permission denied
        QVERIFY(Video_Open("/fake/video7") < 0);
        QCOMPARE(m_fake->openDescriptors(), 0);
    }

    void setParam_failsWhenTheDriverAdjusts_data()
    {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("result");
        QTest::newRow("YUYV listed size") << QByteArray("YUYV") << 640 << 480 << 0;
        QTest::newRow("YUYV adjusted") << QByteArray("YUYV") << 800 << 600 << -1;
        QTest::newRow("JPEG on the steps") << QByteArray("JPEG") << 1280 << 720 << 0;
        QTest::newRow("JPEG off the steps") << QByteArray("JPEG") << 1290 << 720 << -1;
        QTest::newRow("JPEG beyond the range") << QByteArray("JPEG") << 3840 << 2160 << -1;
        QTest::newRow("format not delivered") << QByteArray("H264") << 1920 << 1080 << -1;
    }

    void setParam_failsWhenTheDriverAdjusts()
    {
        QFETCH(QByteArray, format);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, result);
        const int handle = Video_Open("/fake/video0");
        QVERIFY(handle >= 0);
        QCOMPARE(Video_SetParam(handle, format.constData(), width, height), result);
        if (result == 0)
            QCOMPARE(m_fake->timePerFrameDenominator(), 30u);   // the fastest interval, not the default 1/5
        QCOMPARE(Video_Close(handle), 0);
        QCOMPARE(m_fake->openDescriptors(), 0);
    }

    void start_failsWithoutUsbBandwidth()
    {
        m_fake->failStreamOnWithNoSpace();
        const int handle = Video_Open("/fake/video0");
        QCOMPARE(Video_SetParam(handle, "YUYV", kW, kH), 0);
        QCOMPARE(StartCapture(handle, FrameRecorder::callback), -1);
        QCOMPARE(m_fake->mappedBuffers(), 0);
        QCOMPARE(Video_Close(handle), 0);
    }

    void delivery_data()
    {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<unsigned>("bytesPerLine");
        QTest::addColumn<Frames>("frames");
        QTest::addColumn<QByteArray>("expected");   // empty: decodes like the original JPEG
        const QByteArray packed = yuyvRows(0);
        const QByteArray jpeg = quadrantJpeg();
        QTest::newRow("YUYV padded rows are repacked")
            << QByteArray("YUYV") << unsigned(kW * 2 + 16) << Frames{frame(yuyvRows(16))} << packed;
        QTest::newRow("YUYV short frame is skipped")
            << QByteArray("YUYV") << 0u << Frames{frame(packed, 0, packed.size() - 1), frame(packed)} << packed;
        QTest::newRow("error-flagged buffer is skipped")
            << QByteArray("YUYV") << 0u << Frames{frame(yuyvRows(0, 7), V4L2_BUF_FLAG_ERROR), frame(packed)} << packed;
        QTest::newRow("empty buffer is skipped")
            << QByteArray("YUYV") << 0u << Frames{frame(yuyvRows(0, 9), 0, 0), frame(packed)} << packed;
        QTest::newRow("MJPEG padding after EOI is cut")
            << QByteArray("JPEG") << 0u << Frames{frame(jpeg + QByteArray(4000, '\0'))} << jpeg;
        QTest::newRow("MJPEG without EOI is dropped")
            << QByteArray("JPEG") << 0u << Frames{frame(jpeg.left(jpeg.size() - 40)), frame(jpeg)} << jpeg;
        QTest::newRow("MJPEG without Huffman tables gets them")
            << QByteArray("JPEG") << 0u << Frames{frame(withoutHuffmanTables(jpeg))} << QByteArray();
    }

    void delivery()
    {
        QFETCH(QByteArray, format);
        QFETCH(unsigned, bytesPerLine);
        QFETCH(Frames, frames);
        QFETCH(QByteArray, expected);
        m_fake->setBytesPerLine(bytesPerLine);
        m_fake->setFrames(frames);
        FrameRecorder& recorder = FrameRecorder::instance();
        const int handle = Video_Open("/fake/video0");
        const bool yuyv = format == "YUYV";
        QCOMPARE(Video_SetParam(handle, format.constData(), yuyv ? kW : 320, yuyv ? kH : 240), 0);
        QCOMPARE(StartCapture(handle, FrameRecorder::callback), 0);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.frameCount() >= 3, 5000);
        QCOMPARE(StopCapture(handle), 0);
        QCOMPARE(Video_Close(handle), 0);
        const QImage original = decodeStrictly(quadrantJpeg());
        for (const QByteArray& delivered : recorder.frames()) {
            if (expected.isEmpty())
                QCOMPARE(decodeStrictly(delivered), original);
            else
                QCOMPARE(delivered, expected);
        }
        QVERIFY(m_fake->minQueuedAfterDequeue() >= 1);
        QCOMPARE(m_fake->streamOffs(), 1);
        QCOMPARE(m_fake->mappedBuffers(), 0);
        QCOMPARE(m_fake->openDescriptors(), 0);
    }

    void unplug_reportsLossUntilStop_data()
    {
        QTest::addColumn<FakeUvcDevice::Unplug>("how");
        QTest::newRow("POLLERR from poll") << FakeUvcDevice::Unplug::PollError;
        QTest::newRow("silence, then ENODEV from QUERYCAP") << FakeUvcDevice::Unplug::SilentThenGone;
        QTest::newRow("EIO from DQBUF") << FakeUvcDevice::Unplug::DqbufEio;
    }

    void unplug_reportsLossUntilStop()
    {
        QFETCH(FakeUvcDevice::Unplug, how);
        m_fake->setFrames({frame(yuyvRows(0))});
        FrameRecorder& recorder = FrameRecorder::instance();
        const int handle = Video_Open("/fake/video0");
        QCOMPARE(Video_SetParam(handle, "YUYV", kW, kH), 0);
        QCOMPARE(StartCapture(handle, FrameRecorder::callback), 0);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.frameCount() >= 1, 5000);
        m_fake->unplug(how);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.lossCount() >= 2, 5000);
        QCOMPARE(StopCapture(handle), 0);
        const int losses = recorder.lossCount();
        QTest::qWait(250);
        QCOMPARE(recorder.lossCount(), losses);
        QCOMPARE(Video_Close(handle), 0);
        QCOMPARE(m_fake->mappedBuffers(), 0);
        QCOMPARE(m_fake->openDescriptors(), 0);
        QVERIFY(initVideoData() < 0 || how == FakeUvcDevice::Unplug::DqbufEio);
    }

private:
    std::unique_ptr<FakeUvcDevice> m_fake;
};

QTEST_GUILESS_MAIN(V4l2BackendTest)
#include "tst_v4l2_backend.moc"
