// Conversion costs on the capture thread, each next to its floor:
//   YUYV -> RGB: the table/SIMD path vs two plain memcpy of the same bytes,
//                and vs the per-pixel double formula it replaces;
//   JPEG at 1/4: jpeg_decompress vs entropy decoding alone, and vs Qt's
//                full-size decoder.
// Run: bench/bench_conversions --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "compress.h"
#include "customInterface/parameter.h"
#include "documentscene.h"

#include <QCoreApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>

#include <jpeglib.h>

namespace {

struct Scene {
    std::vector<unsigned char> rgb;
    std::vector<unsigned char> yuyv;
    std::vector<unsigned char> jpeg;
};

const Scene& scene(int width, int height)
{
    static std::map<std::pair<int, int>, Scene> cache;
    Scene& s = cache[{width, height}];
    if (s.rgb.empty()) {
        s.rgb = renderDocumentScene(width, height);
        s.yuyv = toYuyv(s.rgb, width, height);
        s.jpeg = encodeJpeg422(s.rgb, width, height, 85);
    }
    return s;
}

// ---- YUYV to RGB

void BM_Yuyv_Fast(benchmark::State& state)
{
    const int w = state.range(0), h = state.range(1);
    std::vector<unsigned char> yuyv = scene(w, h).yuyv;
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
    for (auto _ : state) {
        convert_yuv_to_rgb_buffer(yuyv.data(), rgb.data(), w, h);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * (yuyv.size() + rgb.size()));
}

void BM_Yuyv_MemcpyFloor(benchmark::State& state)
{
    const int w = state.range(0), h = state.range(1);
    std::vector<unsigned char> yuyv = scene(w, h).yuyv, yuyvCopy(yuyv.size());
    std::vector<unsigned char> rgbSource(static_cast<size_t>(w) * h * 3, 7), rgb(rgbSource.size());
    for (auto _ : state) {
        std::memcpy(yuyvCopy.data(), yuyv.data(), yuyv.size());
        std::memcpy(rgb.data(), rgbSource.data(), rgb.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * (yuyv.size() + rgb.size()));
}

void BM_Yuyv_PerPixelDouble(benchmark::State& state)
{
    const int w = state.range(0), h = state.range(1);
    std::vector<unsigned char> yuyv = scene(w, h).yuyv;
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
    for (auto _ : state) {
        unsigned char* out = rgb.data();
        for (unsigned i = 0; i < static_cast<unsigned>(w * h * 2); i += 4, out += 6) {
            const int p0 = convert_yuv_to_rgb_pixel(yuyv[i], yuyv[i + 1], yuyv[i + 3]);
            const int p1 = convert_yuv_to_rgb_pixel(yuyv[i + 2], yuyv[i + 1], yuyv[i + 3]);
            out[0] = p0 & 0xFF;
            out[1] = p0 >> 8 & 0xFF;
            out[2] = p0 >> 16;
            out[3] = p1 & 0xFF;
            out[4] = p1 >> 8 & 0xFF;
            out[5] = p1 >> 16;
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * (yuyv.size() + rgb.size()));
}

// ---- JPEG, 3840x2160 4:2:2 camera frame

void BM_Jpeg_DecompressQuarter(benchmark::State& state)
{
    const int w = state.range(0), h = state.range(1);
    std::vector<unsigned char> jpeg = scene(w, h).jpeg;
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
    int outW = 0, outH = 0;
    for (auto _ : state) {
        if (jpeg_decompress(jpeg.data(), jpeg.size(), 4, rgb.data(), &outW, &outH, static_cast<int>(rgb.size())) != 0)
            state.SkipWithError("jpeg_decompress failed");
        benchmark::ClobberMemory();
    }
    state.counters["jpeg_KiB"] = jpeg.size() / 1024.0;
}

struct FloorErrorMgr {
    jpeg_error_mgr pub;
    jmp_buf back;
};

void floorErrorExit(j_common_ptr cinfo)
{
    longjmp(reinterpret_cast<FloorErrorMgr*>(cinfo->err)->back, 1);
}

// Huffman decoding of every coefficient, no inverse transform, no colour.
bool readCoefficients(const std::vector<unsigned char>& jpeg)
{
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    FloorErrorMgr err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = floorErrorExit;
    if (setjmp(err.back)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), jpeg.size());
    jpeg_read_header(&cinfo, TRUE);
    benchmark::DoNotOptimize(jpeg_read_coefficients(&cinfo));
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

void BM_Jpeg_EntropyFloor(benchmark::State& state)
{
    const std::vector<unsigned char> jpeg = scene(state.range(0), state.range(1)).jpeg;
    for (auto _ : state) {
        if (!readCoefficients(jpeg))
            state.SkipWithError("jpeg_read_coefficients failed");
    }
    state.counters["jpeg_KiB"] = jpeg.size() / 1024.0;
}

void BM_Jpeg_QImageLoadFromData(benchmark::State& state)
{
    const std::vector<unsigned char> jpeg = scene(state.range(0), state.range(1)).jpeg;
    for (auto _ : state) {
        QImage image;
        if (!image.loadFromData(jpeg.data(), static_cast<int>(jpeg.size())))
            state.SkipWithError("QImage::loadFromData failed");
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["jpeg_KiB"] = jpeg.size() / 1024.0;
}

} // namespace

BENCHMARK(BM_Yuyv_Fast)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Yuyv_MemcpyFloor)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Yuyv_PerPixelDouble)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg_DecompressQuarter)->Args({3840, 2160})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg_EntropyFloor)->Args({3840, 2160})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg_QImageLoadFromData)->Args({3840, 2160})->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    QCoreApplication app(argc, argv); // lets QImage find its JPEG plugin
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
