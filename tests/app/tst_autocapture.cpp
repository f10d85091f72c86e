// Hands-free capture decides on scripted scenes: tiny desks with camera
// noise and a moving marker, pages laid by a hand, at a camera's frame rate.
// What counts is when photos would be taken, and how many.
#include "autocapture.h"
#include "scenewatcher.h"

#include <QRandomGenerator>
#include <QtTest>

#include <vector>

namespace {

constexpr int kW = 160;
constexpr int kH = 90;

struct Rgb {
    std::vector<uint8_t> px = std::vector<uint8_t>(size_t(kW) * kH * 3);
    void fill(int x0, int y0, int x1, int y1, int r, int g, int b)
    {
        for (int y = std::max(0, y0); y < std::min(kH, y1); ++y)
            for (int x = std::max(0, x0); x < std::min(kW, x1); ++x) {
                uint8_t* p = &px[(size_t(y) * kW + x) * 3];
                p[0] = uint8_t(r);
                p[1] = uint8_t(g);
                p[2] = uint8_t(b);
            }
    }
};

// Page k (1, 2, ...): its own place and its own lines of print; 0 is none.
// hand: how far a hand reaches in from the right, 0..1 (0: none).
Rgb scene(int page, double hand, int frame, QRandomGenerator& noise)
{
    Rgb rgb;
    rgb.fill(0, 0, kW, kH, 112, 84, 58);
    if (page > 0) {
        const int x0 = 50 + page % 3 * 4, y0 = 8 + page % 2 * 3;
        rgb.fill(x0, y0, x0 + 56, y0 + 72, 240, 240, 236);
        for (int line = 0; line < 9; ++line) {
            const int length = 20 + (page * 7 + line * 13) % 30;
            rgb.fill(x0 + 5, y0 + 6 + line * 7, x0 + 5 + length, y0 + 9 + line * 7, 40, 40, 48);
        }
    }
    // The camera's marker sweeps along the bottom edge.
    const int marker = 4 + (frame % 30) * 5;
    rgb.fill(marker, kH - 7, marker + 5, kH - 2, 240, 120, 20);
    if (hand > 0) {
        const int tip = kW - int(hand * kW * 0.6);
        rgb.fill(tip + 4, 40, kW, 58, 0, 0, 0); // shadow
        rgb.fill(tip, 34, kW, 54, 222, 170, 138);
    }
    for (uint8_t& v : rgb.px) // sensor noise
        v = uint8_t(std::clamp(int(v) + int(noise.bounded(7)) - 3, 0, 255));
    return rgb;
}

// One scripted step: what lies there (and whether a hand moves over it) for
// a time, or an event.
struct Step {
    enum Kind { Still, Hand, Click, Off, On } kind;
    int page = 0;
    double seconds = 0;
};

Step still(int page, double s) { return {Step::Still, page, s}; }
Step hand(int page, double s) { return {Step::Hand, page, s}; }
Step click() { return {Step::Click, 0, 0}; }
Step off() { return {Step::Off, 0, 0}; }
Step on() { return {Step::On, 0, 0}; }

} // namespace

Q_DECLARE_METATYPE(std::vector<Step>)

namespace {

// The frame at which each photo would be taken, in seconds of the script:
// a click photographs the next frame, as does a "take" answer.
std::vector<double> play(const std::vector<Step>& script, double fps, bool detector)
{
    QRandomGenerator noise(7);
    AutoCapture::setEnabled(true);
    std::vector<double> photos;
    bool requested = false;
    int frame = 0;
    double t = 0;
    for (const Step& step : script) {
        if (step.kind == Step::Click) {
            requested = true;
            continue;
        }
        if (step.kind == Step::Off || step.kind == Step::On) {
            AutoCapture::setEnabled(step.kind == Step::On);
            continue;
        }
        const int frames = int(step.seconds * fps + 0.5);
        for (int i = 0; i < frames; ++i, ++frame, t += 1.0 / fps) {
            // The hand comes in, stops over the page, and leaves.
            const double reach = step.kind == Step::Hand ? 1.0 - std::abs(2.0 * i / frames - 1.0) + 0.05 : 0;
            const Rgb rgb = scene(step.page, reach, frame, noise);
            const bool served = requested;
            if (served)
                photos.push_back(t);
            requested = false;
            const SceneWatcher::Page page = !detector ? SceneWatcher::Page::Unknown
                                            : step.page > 0 ? SceneWatcher::Page::Present
                                                            : SceneWatcher::Page::Absent;
            SceneWatcher::Thumb thumb = AutoCapture::sample(rgb.px.data(), kW, kH, kW * 3);
            requested = AutoCapture::decide(std::move(thumb), page, served, t) || requested;
        }
    }
    AutoCapture::setEnabled(false);
    AutoCapture::sample(nullptr, 0, 0, 0); // forget this run
    return photos;
}

} // namespace

class AutoCaptureTest : public QObject
{
    Q_OBJECT

private slots:
    void scriptedScenes_photographEachNewStillPageOnce_data()
    {
        QTest::addColumn<std::vector<Step>>("script");
        QTest::addColumn<double>("fps");
        QTest::addColumn<bool>("detector");
        QTest::addColumn<int>("photos");
        const double fps = 30;
        QTest::newRow("empty desk, noise and marker") << std::vector<Step>{still(0, 4)} << fps << true << 0;
        QTest::newRow("page laid and held") << std::vector<Step>{still(0, 2), hand(1, 1), still(1, 2)} << fps << true << 1;
        QTest::newRow("page held for a minute") << std::vector<Step>{still(0, 2), hand(1, 1), still(1, 60)} << fps << true << 1;
        QTest::newRow("hand passes over the same page")
            << std::vector<Step>{still(0, 2), hand(1, 1), still(1, 2), hand(1, 1), still(1, 2)} << fps << true << 1;
        QTest::newRow("new page") << std::vector<Step>{still(0, 2), hand(1, 1), still(1, 2), hand(2, 1), still(2, 2)}
                                  << fps << true << 2;
        QTest::newRow("a pause shorter than the stillness time takes no photo")
            << std::vector<Step>{still(0, 2), hand(1, 0.5), still(1, 0.3), hand(2, 0.5), still(2, 2)} << fps << true << 1;
        QTest::newRow("page taken away: the empty desk is not photographed")
            << std::vector<Step>{still(0, 2), hand(1, 1), still(1, 2), hand(0, 1), still(0, 3)} << fps << true << 1;
        QTest::newRow("the same, without a detector")
            << std::vector<Step>{still(0, 2), hand(1, 1), still(1, 2), hand(0, 1), still(0, 3)} << fps << false << 1;
        QTest::newRow("new pages without a detector")
            << std::vector<Step>{still(0, 2), hand(1, 1), still(1, 2), hand(2, 1), still(2, 2)} << fps << false << 2;
        QTest::newRow("a few frames a second: 0.7 s is time, not frames")
            << std::vector<Step>{still(0, 2), hand(1, 1), still(1, 2), hand(2, 1), still(2, 2)} << 4.0 << true << 2;
        QTest::newRow("switched off mid-way")
            << std::vector<Step>{still(0, 2), hand(1, 1), still(1, 2), off(), hand(2, 1), still(2, 2)} << fps << true << 1;
        QTest::newRow("switched on over a page: it is not new")
            << std::vector<Step>{off(), still(1, 1), on(), still(1, 3)} << fps << true << 0;
        QTest::newRow("a click, then the same page lies still: no duplicate")
            << std::vector<Step>{still(0, 2), hand(1, 1), still(1, 0.2), click(), still(1, 2)} << fps << true << 1;
        QTest::newRow("a click of a page, then a new one")
            << std::vector<Step>{still(0, 2), hand(1, 1), still(1, 0.2), click(), still(1, 2), hand(2, 1), still(2, 2)}
            << fps << true << 2;
    }

    void scriptedScenes_photographEachNewStillPageOnce()
    {
        QFETCH(std::vector<Step>, script);
        QFETCH(double, fps);
        QFETCH(bool, detector);
        QFETCH(int, photos);
        QCOMPARE(int(play(script, fps, detector).size()), photos);
    }

    // The photo follows the hand's leaving by the stillness time and a frame
    // or two, whatever the frame rate.
    void photo_followsTheHandLeavingBySevenTenths_data()
    {
        QTest::addColumn<double>("fps");
        QTest::newRow("30 fps") << 30.0;
        QTest::newRow("5 fps") << 5.0;
    }

    void photo_followsTheHandLeavingBySevenTenths()
    {
        QFETCH(double, fps);
        SceneWatcher watcher;
        QRandomGenerator noise(3);
        double t = 0;
        int frame = 0;
        auto run = [&](int page, double seconds, bool withHand) {
            const int frames = int(seconds * fps + 0.5);
            for (int i = 0; i < frames; ++i, ++frame, t += 1.0 / fps) {
                const double reach = withHand ? 1.0 - std::abs(2.0 * i / frames - 1.0) + 0.05 : 0;
                const Rgb rgb = scene(page, reach, frame, noise);
                if (watcher.observe(SceneWatcher::thumbOf(rgb.px.data(), kW, kH, kW * 3), SceneWatcher::Page::Present, t))
                    return t;
            }
            return -1.0;
        };
        QCOMPARE(run(0, 2, false), -1.0);
        QCOMPARE(run(1, 1, true), -1.0);
        const double handGone = t;
        const double taken = run(1, 2, false);
        QVERIFY2(taken >= handGone + SceneWatcher::kStillSeconds - 1e-9 &&
                     taken <= handGone + SceneWatcher::kStillSeconds + 2.0 / fps + 1e-9,
                 qPrintable(QStringLiteral("hand gone at %1 s, photo at %2 s").arg(handGone).arg(taken)));
    }
};

QTEST_GUILESS_MAIN(AutoCaptureTest)
#include "tst_autocapture.moc"
