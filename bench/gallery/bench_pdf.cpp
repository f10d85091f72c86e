// Photo saving of a 3840 x 2160 camera JPEG, and PDF composition against img2pdf (which embeds the JPEGs unchanged: the floor
// for a PDF of these pictures), on camera-like 1920 x 1080 JPEG photos.
//
//   bench_gallery_pdf [benchmark flags]   timing and sizes, side by side
//   bench_gallery_pdf --make-photos N     renders N photos (if missing) and exits
//   bench_gallery_pdf --peak-rss N        composes N photos once, prints peak RSS
//
// Photos are rendered once into $TAVIK_BENCH_DIR (default: a folder in the
// temporary directory) and reused.
#include "pdfcomposer.h"
#include "photofile.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QBuffer>
#include <QRandomGenerator>

#include <sys/resource.h>

#include <cstdio>
#include <cstring>

namespace {

QString benchDir()
{
    const QString fromEnv = qEnvironmentVariable("TAVIK_BENCH_DIR");
    return fromEnv.isEmpty() ? QDir::tempPath() + QStringLiteral("/tavik_gallery_bench") : fromEnv;
}

// A sheet of printed text lying on a desk, lit unevenly, with sensor noise:
// what a document camera delivers, JPEG quality 85.
QImage documentScene(int seed)
{
    QImage scene(1920, 1080, QImage::Format_RGB32);
    QPainter p(&scene);
    QLinearGradient desk(0, 0, 1920, 1080);
    desk.setColorAt(0, QColor(96, 80, 64));
    desk.setColorAt(1, QColor(60, 50, 40));
    p.fillRect(scene.rect(), desk);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(960, 540);
    p.rotate(-4 + seed % 9);
    p.fillRect(QRect(-620, -470, 1240, 940), QColor(236, 234, 228));
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPixelSize(26);
    p.setFont(font);
    p.setPen(QColor(30, 30, 35));
    QRandomGenerator text(seed);
    for (int line = 0; line < 26; ++line) {
        QString words;
        for (int w = 0; w < 12; ++w) {
            const int length = 2 + text.bounded(8);
            for (int c = 0; c < length; ++c)
                words += QChar('a' + text.bounded(26));
            words += ' ';
        }
        p.drawText(-560, -420 + line * 34, words);
    }
    p.end();

    QRandomGenerator noise(seed + 1000);
    for (int y = 0; y < scene.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(scene.scanLine(y));
        const int shade = -12 + 24 * y / scene.height();
        for (int x = 0; x < scene.width(); ++x) {
            const int n = shade + int(noise.bounded(13)) - 6;
            row[x] = qRgb(qBound(0, qRed(row[x]) + n, 255), qBound(0, qGreen(row[x]) + n, 255),
                          qBound(0, qBlue(row[x]) + n, 255));
        }
    }
    return scene;
}

QStringList photos(int count)
{
    QDir().mkpath(benchDir());
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString path = QStringLiteral("%1/photo_%2.jpg").arg(benchDir()).arg(i, 3, 10, QChar('0'));
        if (!QFileInfo::exists(path)) {
            QImageWriter writer(path, "jpeg");
            writer.setQuality(85);
            writer.write(documentScene(i));
        }
        paths << path;
    }
    return paths;
}

void BM_PdfComposer_20Photos(benchmark::State& state)
{
    const QStringList pictures = photos(20);
    const QString out = benchDir() + QStringLiteral("/composer.pdf");
    for (auto _ : state) {
        if (!PdfComposer::compose(pictures, out))
            state.SkipWithError("compose failed");
    }
    state.counters["bytes"] = double(QFileInfo(out).size());
}

void BM_Img2pdf_20Photos(benchmark::State& state)
{
    const QStringList pictures = photos(20);
    const QString out = benchDir() + QStringLiteral("/img2pdf.pdf");
    const QStringList arguments =
        QStringList{"--pagesize", "A4^T", "--border", "10pt", "-o", out} + pictures;
    for (auto _ : state) {
        QProcess img2pdf;
        img2pdf.start(QStringLiteral("img2pdf"), arguments);
        if (!img2pdf.waitForFinished(60000) || img2pdf.exitCode() != 0)
            state.SkipWithError("img2pdf failed");
    }
    state.counters["bytes"] = double(QFileInfo(out).size());
}

// A 3840 x 2160 frame as the camera sends it (JPEG quality 85).
QByteArray cameraFrame4k()
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(85);
    writer.write(documentScene(7).scaled(3840, 2160));
    return jpeg;
}

// What the capture thread does for a photo request: decode the frame, turn
// it (0 or 90 degrees) and write it through PhotoFile::save.
void BM_PhotoSave_4kJpegFrame(benchmark::State& state)
{
    const QByteArray frame = cameraFrame4k();
    const int angle = int(state.range(0));
    QDir().mkpath(benchDir());
    const QString path = benchDir() + QStringLiteral("/photo_4k.jpg");
    for (auto _ : state) {
        const QImage picture = QImage::fromData(frame);
        if (!PhotoFile::save(PhotoFile::rotated(picture, angle), path))
            state.SkipWithError("save failed");
    }
    state.counters["frame_bytes"] = double(frame.size());
}

// The encode and write alone, the frame already decoded.
void BM_PhotoEncodeOnly_4k(benchmark::State& state)
{
    const QImage picture = QImage::fromData(cameraFrame4k());
    const QString path = benchDir() + QStringLiteral("/photo_4k_encode.jpg");
    QDir().mkpath(benchDir());
    for (auto _ : state) {
        if (!PhotoFile::save(picture, path))
            state.SkipWithError("save failed");
    }
}

BENCHMARK(BM_PhotoSave_4kJpegFrame)->Arg(0)->Arg(90)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PhotoEncodeOnly_4k)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PdfComposer_20Photos)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Img2pdf_20Photos)->Unit(benchmark::kMillisecond)->UseRealTime();

int peakRss(int count)
{
    const QStringList pictures = photos(count);
    struct rusage before {};
    getrusage(RUSAGE_SELF, &before);
    const QString out = benchDir() + QStringLiteral("/peak.pdf");
    if (!PdfComposer::compose(pictures, out))
        return 1;
    struct rusage after {};
    getrusage(RUSAGE_SELF, &after);
    std::printf("photos %d  pdf_bytes %lld  peak_rss_mb %.1f  (before composing %.1f)\n", count,
                QFileInfo(out).size(), after.ru_maxrss / 1024.0, before.ru_maxrss / 1024.0);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv); // fonts for the scenes; QPdfWriter needs a GUI application
    if (argc == 3 && std::strcmp(argv[1], "--make-photos") == 0)
        return photos(std::atoi(argv[2])).isEmpty() ? 1 : 0;
    if (argc == 3 && std::strcmp(argv[1], "--peak-rss") == 0)
        return peakRss(std::atoi(argv[2]));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
