// Capture-thread cost of one frame in the pipeline (conversion or decoding,
// outline drawing with deskew on, hands-free watching, queueing), per frame
// kind. The preview's budget at 30 fps is 33 ms per frame for everything on
// that thread; the watching's share is the difference the "auto" argument
// makes, and the BM_Watching case measures it alone.
#include "autocapture.h"
#include "framepipeline.h"
#include "imageprocloader.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

// A white page turned a little on a dark desk, as JPEG of the given size.
QByteArray documentJpeg(int w, int h)
{
    QImage scene(w, h, QImage::Format_RGB888);
    scene.fill(QColor(60, 50, 40));
    QPainter p(&scene);
    p.translate(w / 2.0, h / 2.0);
    p.rotate(4);
    p.fillRect(QRectF(-w * 0.3, -h * 0.38, w * 0.6, h * 0.76), QColor(240, 240, 235));
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    scene.save(&buffer, "JPG", 85);
    return bytes;
}

void takeQueuedFrame()
{
    const RGBdata frame = getRgbData();
    free(frame.m_data);
    g_currentInfo.getImageOk = false;
}

void BM_JpegFrame(benchmark::State& state)
{
    const int w = static_cast<int>(state.range(0));
    const int h = static_cast<int>(state.range(1));
    const bool deskew = state.range(2) != 0;
    QByteArray jpeg = documentJpeg(w, h);
    setStreamParameters(QStringLiteral("JPEG"), w, h);
    flag = deskew ? 1 : 0;
    AutoCapture::setEnabled(state.range(3) != 0);
    for (auto _ : state) {
        setRgbData(reinterpret_cast<unsigned char*>(jpeg.data()), static_cast<unsigned long>(jpeg.size()));
        takeQueuedFrame();
    }
    AutoCapture::setEnabled(false);
    flag = 0;
}

// The watcher's own work on one preview picture of a 3840x2160 stream (the
// quarter-scale 960x540 picture the pipeline has decoded anyway): the
// reduced grey copy and the decision. A still scene keeps it on its usual
// path, as most frames are.
void BM_Watching(benchmark::State& state)
{
    const int w = 960;
    const int h = 540;
    QImage picture = QImage::fromData(documentJpeg(w, h)).convertToFormat(QImage::Format_RGB888);
    AutoCapture::setEnabled(true);
    double seconds = 0;
    for (auto _ : state) {
        SceneWatcher::Thumb thumb = AutoCapture::sample(picture.constBits(), w, h, picture.bytesPerLine());
        benchmark::DoNotOptimize(AutoCapture::decide(std::move(thumb), SceneWatcher::Page::Present, false, seconds));
        seconds += 1.0 / 30;
    }
    AutoCapture::setEnabled(false);
}

void BM_YuyvFrame(benchmark::State& state)
{
    const int w = static_cast<int>(state.range(0));
    const int h = static_cast<int>(state.range(1));
    QByteArray yuyv(w * h * 2, char(128));
    setStreamParameters(QStringLiteral("YUYV"), w, h);
    for (auto _ : state) {
        setRgbData(reinterpret_cast<unsigned char*>(yuyv.data()), static_cast<unsigned long>(yuyv.size()));
        takeQueuedFrame();
    }
}

} // namespace

BENCHMARK(BM_JpegFrame)->ArgNames({"w", "h", "deskew", "auto"})
    ->Args({640, 480, 0, 0})->Args({640, 480, 1, 0})
    ->Args({1920, 1080, 0, 0})->Args({1920, 1080, 1, 0})
    ->Args({3840, 2160, 0, 0})->Args({3840, 2160, 1, 0})
    ->Args({3840, 2160, 1, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Watching)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_YuyvFrame)->ArgNames({"w", "h"})->Args({1920, 1080})->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!loadImageProc()) // from the build folder: ./lib/libImageProc.so
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
