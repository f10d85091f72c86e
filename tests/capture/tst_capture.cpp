// The capture library's interface with the virtual document camera, and its
// V4L2 backend with the MJPEG repair against a fake UVC camera.
#include "camera.h"
#include "fake_uvc_device.h"

#include <QBuffer>
#include <QtTest>

#include <cstdlib>
#include <memory>

using Frames = std::vector<FakeUvcDevice::Frame>;
using Unplug = FakeUvcDevice::Unplug;
Q_DECLARE_METATYPE(Frames)
Q_DECLARE_METATYPE(FakeUvcDevice::Unplug)

namespace {

const char kVirtual[] = TAVIK_VIRTUAL_CAMERA_PATH;
const char kFake[] = "/fake/video0";
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

// A 16x16 baseline JPEG with libjpeg's standard Huffman tables (Qt's writer
// keeps them), quadrants red | green over blue | white.
QByteArray quadrantJpeg()
{
    const QRgb quadrants[4] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};
    QImage image(16, 16, QImage::Format_RGB888);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            image.setPixel(x, y, quadrants[y / 8 * 2 + x / 8]);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 90);
    return bytes;
}

// The same bytes with every DHT segment taken out, as MJPEG cameras send.
QByteArray withoutHuffmanTables(const QByteArray& jpeg)
{
    QByteArray out = jpeg.left(2);
    int pos = 2;
    for (int length; pos + 4 <= jpeg.size() && uchar(jpeg[pos + 1]) != 0xDA; pos += 2 + length) {
        length = uchar(jpeg[pos + 2]) << 8 | uchar(jpeg[pos + 3]);
        if (uchar(jpeg[pos + 1]) != 0xC4)
            out += jpeg.mid(pos, 2 + length);
    }
    return out + jpeg.mid(pos);
}

// The MJPEG repair's output; empty when it drops the frame.
QByteArray repaired(const QByteArray& in)
{
    unsigned long length = 0;
    unsigned char* out = TavikCam_RepairJpeg(reinterpret_cast<const unsigned char*>(in.constData()), in.size(), &length);
    const QByteArray bytes(reinterpret_cast<const char*>(out), out ? int(length) : 0);
    std::free(out);
    return bytes;
}

// Decoded by Qt, as the application decodes small frames; a null image when
// libjpeg warns of damage (Qt passes its warnings on as messages).
QImage decodeStrictly(const QByteArray& jpeg)
{
    static bool warned;
    warned = false;
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) { warned = true; });
    const QImage image = QImage::fromData(jpeg, "JPG");
    qInstallMessageHandler(previous);
    return warned ? QImage() : image;
}

bool isWholeJpeg(const QByteArray& f)
{
    return f.startsWith("\xFF\xD8") && f.endsWith("\xFF\xD9");
}

QString sizesOf(PixelFormat* format)
{
    QStringList sizes;
    for (int i = 0; i < getFrmSizeNum(format); ++i)
        sizes << QString("%1*%2").arg(getFrmSizeNumByIndex(format, i)->width).arg(getFrmSizeNumByIndex(format, i)->height);
    return sizes.join(' ');
}

} // namespace

class CaptureTest : public QObject {
    Q_OBJECT

    // What the library hands to onFrame(), recorded on its thread.
    static inline std::atomic<int> s_frames{0}, s_losses{0}, s_stopAt{0}, s_stopHandle{-1}, s_stopResult{1};
    static inline std::atomic<bool> s_running{false}, s_onCallerThread{false};
    static inline const std::thread::id s_caller = std::this_thread::get_id();
    static inline std::mutex s_mutex;   // guards s_kept
    static inline std::vector<QByteArray> s_kept;

    std::unique_ptr<FakeUvcDevice> m_fake;

    // The frame callback: counts frames and losses (null, 19), keeps the
    // first frames, and on frame s_stopAt calls StopCapture() itself.
    static void onFrame(unsigned char* buffer, unsigned long len)
    {
        s_running = true;
        s_onCallerThread = s_onCallerThread || std::this_thread::get_id() == s_caller;
        if (buffer) {
            std::lock_guard<std::mutex> lock(s_mutex);
            if (s_kept.size() < 8)
                s_kept.push_back(QByteArray(reinterpret_cast<const char*>(buffer), int(len)));
        }
        if (!buffer)
            s_losses += len == 19;
        else if (++s_frames == s_stopAt)
            s_stopResult = StopCapture(s_stopHandle);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        s_running = false;
    }

    static void resetRecorder()
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        s_kept.clear();
        s_frames = s_losses = s_stopAt = 0;
        s_onCallerThread = false;
        s_stopResult = 1;
    }

    static std::vector<QByteArray> kept() { std::lock_guard<std::mutex> lock(s_mutex); return s_kept; }

    // The handle streaming to onFrame(), or -1 with nothing left open.
    static int startRecording(const char* path, const char* format, int width, int height)
    {
        const int handle = Video_Open(path);
        if (Video_SetParam(handle, format, width, height) != 0 || StartCapture(handle, onFrame) != 0) {
            Video_Close(handle);
            return -1;
        }
        return handle;
    }

    bool released() const { return m_fake->mapped == 0 && m_fake->openFds == 0; }

private slots:
    void init()
    {
        qputenv("TAVIK_VIRTUAL_CAMERA", "1");
        resetRecorder();
        m_fake = std::make_unique<FakeUvcDevice>();
    }

    void cleanup()
    {
        deinitVideoData();
        m_fake.reset();
        TavikCam_VirtualReplug();
        TavikCam_VirtualSetDamage(0, 0);
    }

    // ---- the interface, with the virtual camera

    void calls_failOnWrongHandlesOrderAndUnlistedModes()
    {
        QVERIFY(Video_Open("") < 0 && Video_Open(nullptr) < 0 && Video_Open("/dev/video-none") < 0);
        QCOMPARE(Video_SetParam(12345, "JPEG", 640, 480), -1);
        QCOMPARE(StartCapture(12345, onFrame), -1);
        QCOMPARE(StopCapture(12345), -1);
        QCOMPARE(Video_Close(12345), -1);
        const int handle = Video_Open(kVirtual);
        QVERIFY(handle >= 0);
        QCOMPARE(StartCapture(handle, onFrame), -1);   // no format set yet
        QCOMPARE(Video_SetParam(handle, "YUYV", 3840, 2160), -1);   // YUYV only up to 1080p
        QCOMPARE(Video_SetParam(handle, "MJPG", 640, 480), -1);
        QCOMPARE(Video_SetParam(handle, "JPEG", 3840, 2160), 0);
        QCOMPARE(StartCapture(handle, nullptr), -1);
        QCOMPARE(Video_Close(handle), 0);
        QCOMPARE(Video_Close(handle), -1);
        QCOMPARE(s_frames.load(), 0);
    }

    void stop_noCallbackRunsOrFollowsOnceItReturns_evenFromInsideOne()
    {
        const int handle = s_stopHandle = Video_Open(kVirtual);
        QCOMPARE(Video_SetParam(handle, "JPEG", 640, 480), 0);
        s_stopAt = 3;
        QCOMPARE(StartCapture(handle, onFrame), 0);
        QTRY_COMPARE_WITH_TIMEOUT(s_stopResult.load(), 0, 5000);
        QTest::qWait(150);
        QCOMPARE(s_frames.load(), 3);
        // The next start joins the stopped thread and streams anew.
        resetRecorder();
        QCOMPARE(StartCapture(handle, onFrame), 0);
        QTRY_VERIFY_WITH_TIMEOUT(s_frames >= 2, 5000);
        QCOMPARE(StopCapture(handle), 0);
        QVERIFY(!s_running);
        const int stopped = s_frames;
        QTest::qWait(150);
        QCOMPARE(s_frames.load(), stopped);
        QCOMPARE(StopCapture(handle), 0);   // twice is harmless
        QCOMPARE(StartCapture(handle, onFrame), 0);
        QTRY_VERIFY_WITH_TIMEOUT(s_frames > stopped, 5000);
        QCOMPARE(Video_Close(handle), 0);   // and closing stops as well
        QVERIFY(!s_running);
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
        QByteArray first[2];   // of a stream, then of a damaged one: each starts with the same picture
        for (QByteArray& frame : first) {
            resetRecorder();
            const int handle = startRecording(kVirtual, "JPEG", 640, 480);
            QTRY_VERIFY_WITH_TIMEOUT(s_frames >= 1, 5000);
            QCOMPARE(Video_Close(handle), 0);
            frame = kept().front();
            TavikCam_VirtualSetDamage(damaged, truncated);
        }
        QVERIFY(!decodeStrictly(first[0]).isNull());
        QVERIFY(isWholeJpeg(first[1]));
        QVERIFY(decodeStrictly(first[1]).isNull());
        if (truncated)
            QVERIFY(first[1].size() < first[0].size() * 3 / 4);
        else
            QCOMPARE(first[1].size(), first[0].size());
    }

    // ---- the V4L2 backend, with the fake camera

    void enumeration_listsOnlyTheCaptureNodeWithDeliverableFormats_lookupsOutsideGiveNull()
    {
        QCOMPARE(initVideoData(), 2);   // the virtual camera comes last
        VideoDeviceData* camera = getVideoDeviceByIndex(0);
        QCOMPARE(QByteArray(camera->devPath), QByteArray(kFake));
        QCOMPARE(QByteArray(camera->cardName), QByteArray("Fake UVC Camera"));
        QCOMPARE(getPixelFormatNum(camera), 2);
        PixelFormat* yuyv = getPixelFormatByIndex(camera, 0);
        PixelFormat* jpeg = getPixelFormatByFormatTip(camera, "JPEG");
        QCOMPARE(jpeg, getPixelFormatByIndex(camera, 1));
        QCOMPARE(jpeg->pixelformat, unsigned(V4L2_PIX_FMT_MJPEG));
        QCOMPARE(sizesOf(yuyv), QString("160*120 640*480"));
        // The stepwise range offers the common sizes on its steps.
        QCOMPARE(sizesOf(jpeg), QString("320*240 640*480 800*600 1024*768 1280*720 1280*960 1920*1080"));
        QVERIFY(!getVideoDeviceByIndex(-1) && !getVideoDeviceByIndex(2));
        QVERIFY(!getPixelFormatByIndex(camera, 2) && !getFrmSizeNumByIndex(yuyv, 2) && !getFrmSizeNumByIndex(nullptr, 0));
        QVERIFY(!getPixelFormatByFormatTip(camera, "MJPG") && !getPixelFormatByFormatTip(nullptr, "JPEG"));
        QCOMPARE(getVideoDeviceNodeByName(kFake, -1), camera);   // -1: up to the NUL
        QVERIFY(!getVideoDeviceNodeByName(kFake, 10));   // the whole path only
        QVERIFY(Video_Open("/fake/video1") < 0);   // the metadata node
        QVERIFY(released());
        deinitVideoData();
        QVERIFY(getVideoDeviceNum() == 0 && !getVideoDeviceByIndex(0));
        qunsetenv("TAVIK_VIRTUAL_CAMERA");
        QCOMPARE(initVideoData(), 1);
    }

    void setParamAndStart_failUnlessTheDriverGivesExactlyWhatWasAsked()
    {
        const int handle = Video_Open(kFake);
        QVERIFY(handle >= 0);
        QCOMPARE(Video_SetParam(handle, "YUYV", 800, 600), -1);   // the driver gives 640x480
        QCOMPARE(Video_SetParam(handle, "JPEG", 1290, 720), -1);   // off the steps
        QCOMPARE(Video_SetParam(handle, "H264", 1920, 1080), -1);   // listed, not delivered
        QCOMPARE(Video_SetParam(handle, "JPEG", 1280, 720), 0);
        QCOMPARE(m_fake->setDenominator, 30u);   // the fastest interval, not the default 1/5
        m_fake->noBandwidth = true;
        QCOMPARE(StartCapture(handle, onFrame), -1);
        QCOMPARE(m_fake->mapped.load(), 0);
        QCOMPARE(Video_Close(handle), 0);
        QVERIFY(released());
    }

    // Frames from the fake camera arrive as expected; those of the virtual
    // one (expected empty) whole, of the set format, and changing.
    void delivery_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<unsigned>("bytesPerLine");
        QTest::addColumn<Frames>("frames");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray packed = yuyvRows(0), yuyv("YUYV"), jpeg("JPEG"), bare = withoutHuffmanTables(quadrantJpeg());
        const QSize small(kW, kH);
        QTest::newRow("virtual YUYV 640*480") << QByteArray(kVirtual) << yuyv << QSize(640, 480) << 0u << Frames{} << QByteArray();
        QTest::newRow("virtual JPEG 1920*1080") << QByteArray(kVirtual) << jpeg << QSize(1920, 1080) << 0u << Frames{} << QByteArray();
        QTest::newRow("YUYV padded rows are repacked")
            << QByteArray(kFake) << yuyv << small << unsigned(kW * 2 + 16) << Frames{{yuyvRows(16)}} << packed;
        QTest::newRow("YUYV short frame is skipped")
            << QByteArray(kFake) << yuyv << small << 0u << Frames{{yuyvRows(0, 5), 0, packed.size() - 1}, {packed}} << packed;
        QTest::newRow("error-flagged buffer is skipped")
            << QByteArray(kFake) << yuyv << small << 0u << Frames{{yuyvRows(0, 7), V4L2_BUF_FLAG_ERROR}, {packed}} << packed;
        QTest::newRow("MJPEG is repaired") << QByteArray(kFake) << jpeg << QSize(320, 240) << 0u << Frames{{bare}} << repaired(bare);
    }

    void delivery()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, format);
        QFETCH(QSize, size);
        QFETCH(unsigned, bytesPerLine);
        QFETCH(Frames, frames);
        QFETCH(QByteArray, expected);
        m_fake->bytesPerLine = bytesPerLine;
        m_fake->frames = frames;
        const int handle = startRecording(path.constData(), format.constData(), size.width(), size.height());
        QVERIFY(handle >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(s_frames >= 4, 5000);   // more than the fake's 3 buffers: each went back
        QCOMPARE(StopCapture(handle), 0);
        QCOMPARE(Video_Close(handle), 0);
        QVERIFY(!s_onCallerThread);
        const std::vector<QByteArray> delivered = kept();
        for (const QByteArray& frame : delivered) {
            if (!expected.isEmpty()) {
                QCOMPARE(frame, expected);
            } else if (format == "YUYV") {
                QCOMPARE(frame.size(), size.width() * size.height() * 2);
            } else {
                QVERIFY(isWholeJpeg(frame));
                QCOMPARE(decodeStrictly(frame).size(), size);
            }
        }
        QVERIFY2(!expected.isEmpty() || delivered[0] != delivered[1], "frames must change so a frozen preview shows");
        QVERIFY(released());
    }

    void unplug_reportsLossUntilStopAndHidesTheCamera_data()
    {
        QTest::addColumn<Unplug>("how");
        QTest::newRow("virtual camera") << Unplug::None;
        QTest::newRow("POLLERR from poll") << Unplug::PollError;
        QTest::newRow("silence, then ENODEV from QUERYCAP") << Unplug::SilentThenGone;
        QTest::newRow("EIO from DQBUF: the node stays") << Unplug::DqbufEio;
    }

    void unplug_reportsLossUntilStopAndHidesTheCamera()
    {
        QFETCH(Unplug, how);
        const bool onVirtual = how == Unplug::None;
        m_fake->frames = {{QByteArray(640 * 480 * 2, '\x80')}};
        const int handle = startRecording(onVirtual ? kVirtual : kFake, "YUYV", 640, 480);
        QVERIFY(handle >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(s_frames >= 1, 5000);
        if (onVirtual)
            TavikCam_VirtualUnplug();
        m_fake->unplug = how;
        QTRY_VERIFY_WITH_TIMEOUT(s_losses >= 2, 5000);
        QCOMPARE(StopCapture(handle), 0);
        const int losses = s_losses;
        QTest::qWait(250);
        QCOMPARE(s_losses.load(), losses);
        QCOMPARE(Video_Close(handle), 0);
        QVERIFY(released());
        if (how != Unplug::DqbufEio)
            QVERIFY(Video_Open(onVirtual ? kVirtual : kFake) < 0);
        QCOMPARE(initVideoData(), how == Unplug::DqbufEio ? 2 : 1);
        TavikCam_VirtualReplug();
        QCOMPARE(initVideoData(), onVirtual || how == Unplug::DqbufEio ? 2 : 1);
    }

    // ---- the MJPEG repair

    void repair_data()
    {
        const QByteArray jpeg = quadrantJpeg();
        const auto withSegmentLength = [&](int length) { QByteArray b = jpeg; b[4] = char(length >> 8), b[5] = char(length); return b; };
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected");   // empty: dropped
        QTest::newRow("whole image passes unchanged") << jpeg << jpeg;
        QTest::newRow("zero padding after EOI is cut") << jpeg + QByteArray(300, '\0') << jpeg;
        QTest::newRow("no SOI is dropped") << jpeg.mid(2) << QByteArray();
        QTest::newRow("no EOI is dropped") << jpeg.left(jpeg.size() - 2) << QByteArray();
        QTest::newRow("header cut before SOS is dropped")
            << jpeg.left(jpeg.indexOf("\xFF\xDA")) + QByteArray("\xFF\xD9") << QByteArray();
        QTest::newRow("segment length past the end is dropped") << withSegmentLength(0xFFF0) << QByteArray();
        QTest::newRow("segment length below 2 is dropped") << withSegmentLength(1) << QByteArray();
        QTest::newRow("empty is dropped") << QByteArray() << QByteArray();
    }

    void repair()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        QCOMPARE(repaired(input), expected);
    }

    void repair_insertsTheStandardHuffmanTablesBeforeTheScan()
    {
        const QByteArray out = repaired(withoutHuffmanTables(quadrantJpeg()));
        QCOMPARE(out.count(QByteArray("\xFF\xC4")), 1);
        QVERIFY(out.indexOf("\xFF\xC4") < out.indexOf("\xFF\xDA"));
        const QImage decoded = decodeStrictly(out);
        QVERIFY(!decoded.isNull());
        QCOMPARE(decoded, decodeStrictly(quadrantJpeg()));
    }
};

QTEST_GUILESS_MAIN(CaptureTest)
#include "tst_capture.moc"
