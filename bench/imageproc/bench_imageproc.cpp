// Speed of the image-processing library on synthetic scenes, one core.
// Argument: the scene index (0 easy page, 9 moderate page, 16 hard page,
// 5 no page, which runs every proposal source). The 1920x1080 search and
// the 960x540 preview outline also run once per kind of scene, named
// after it (see kScenes).
//
//   taskset -c 1 bench/bench_imageproc --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "document_detector.h"
#include "imageproc.h"
#include "jpeg_codec.h"
#include "scene_generator.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

const Scene& sceneOf(int index, cv::Size size)
{
    static std::map<std::pair<int, std::pair<int, int>>, Scene> cache;
    const auto key = std::make_pair(index, std::make_pair(size.width, size.height));
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.emplace(key, SceneGenerator::make(SceneGenerator::kDevelopmentSeed, index, size)).first;
    return it->second;
}

std::vector<unsigned char> jpegOf(const Scene& scene, int quality)
{
    unsigned char* data = nullptr;
    size_t length = 0;
    jpeg_codec::encode(scene.rgb, quality, &data, &length);
    std::vector<unsigned char> bytes(data, data + length);
    std::free(data);
    return bytes;
}

// The stateless detection, as the photo path runs it; at preview sizes it is
// also the cost of a preview frame without a tracked outline.
void findDocumentIn(benchmark::State& state, int index, cv::Size size)
{
    const Scene& scene = sceneOf(index, size);
    float corners[8];
    for (auto _ : state) {
        benchmark::DoNotOptimize(ImageProc_FindDocument(scene.rgb.ptr<unsigned char>(), scene.rgb.cols,
                                                        static_cast<int>(scene.rgb.step[0]), scene.rgb.rows, corners));
    }
}

void findDocument(benchmark::State& state, cv::Size size)
{
    findDocumentIn(state, static_cast<int>(state.range(0)), size);
}

void BM_FindDocument_1920x1080(benchmark::State& state) { findDocument(state, cv::Size(1920, 1080)); }

// One development scene of every setting and desk, by what it shows.
struct NamedScene {
    const char* name;
    int index;
};
constexpr NamedScene kScenes[] = {
    {"classic_card_fabric", 0},       {"classic_page_dark", 9},       {"classic_cluttered_desk", 13},
    {"classic_white_desk", 16},       {"classic_empty_desk", 5},      {"pinhole_page_wood", 21},
    {"pinhole_white_desk", 36},       {"curled_corner", 41},          {"page_on_folder", 62},
    {"page_beside_book_and_box", 60}, {"empty_desk_with_objects", 80}, {"cluttered_empty_desk", 35},
    {"bank_card_alone", 100},         {"page_over_second_sheet", 301},
};
void BM_FindDocument_960x540(benchmark::State& state) { findDocument(state, cv::Size(960, 540)); }
void BM_FindDocument_480x270(benchmark::State& state) { findDocument(state, cv::Size(480, 270)); }

// The preview's first search, before any outline is shown: the quick
// search on a smaller copy.
void coldPreview(benchmark::State& state, cv::Size size)
{
    const Scene& scene = sceneOf(static_cast<int>(state.range(0)), size);
    for (auto _ : state) {
        DocumentDetector::Result found;
        benchmark::DoNotOptimize(DocumentDetector::find(scene.rgb, &found, nullptr, nullptr, true));
    }
}

void BM_ColdPreview_960x540(benchmark::State& state) { coldPreview(state, cv::Size(960, 540)); }
void BM_ColdPreview_480x270(benchmark::State& state) { coldPreview(state, cv::Size(480, 270)); }

// A live preview: the same frame again and again, so after the first call
// the outline found before is checked instead of searched for (with a full
// search every few frames). The frame is copied back before each call (the
// outline is drawn in place); the copy is part of the time (under 0.2 ms).
void rawDrawLineIn(benchmark::State& state, int index, cv::Size size)
{
    const Scene& scene = sceneOf(index, size);
    const size_t bytes = scene.rgb.total() * 3;
    std::vector<unsigned char> frame(bytes);
    for (auto _ : state) {
        std::memcpy(frame.data(), scene.rgb.ptr<unsigned char>(), bytes);
        benchmark::DoNotOptimize(RAW_DrawLine(frame.data(), size.width, size.width * 3, size.height, 1, 2));
    }
}

void rawDrawLine(benchmark::State& state, cv::Size size)
{
    rawDrawLineIn(state, static_cast<int>(state.range(0)), size);
}

void BM_RawDrawLine_960x540(benchmark::State& state) { rawDrawLine(state, cv::Size(960, 540)); }
void BM_RawDrawLine_480x270(benchmark::State& state) { rawDrawLine(state, cv::Size(480, 270)); }

void BM_JpgDrawLine_1024x768(benchmark::State& state)
{
    std::vector<unsigned char> jpeg = jpegOf(sceneOf(static_cast<int>(state.range(0)), cv::Size(1024, 768)), 85);
    for (auto _ : state) {
        unsigned char* out = nullptr;
        int length = 0;
        JPGFILE_DrawLine(jpeg.data(), static_cast<int>(jpeg.size()), 3, 2, &out, &length);
        std::free(out);
    }
}

void BM_JpgRotate_3840x2160(benchmark::State& state)
{
    std::vector<unsigned char> jpeg = jpegOf(sceneOf(static_cast<int>(state.range(0)), cv::Size(3840, 2160)), 90);
    for (auto _ : state) {
        unsigned char* out = nullptr;
        int length = 0;
        JPGFILE_Rotate(jpeg.data(), static_cast<int>(jpeg.size()), &out, &length);
        std::free(out);
    }
}

} // namespace

BENCHMARK(BM_FindDocument_1920x1080)->Arg(0)->Arg(9)->Arg(16)->Arg(5)->Unit(benchmark::kMillisecond);
// Per kind of scene, under their names.
const bool kNamedRegistered = [] {
    for (const NamedScene& s : kScenes) {
        benchmark::RegisterBenchmark((std::string("FindDocument_1920x1080/") + s.name).c_str(),
                                     [](benchmark::State& state, int index) {
                                         findDocumentIn(state, index, cv::Size(1920, 1080));
                                     },
                                     s.index)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("RawDrawLine_960x540/") + s.name).c_str(),
                                     [](benchmark::State& state, int index) {
                                         rawDrawLineIn(state, index, cv::Size(960, 540));
                                     },
                                     s.index)
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();
BENCHMARK(BM_FindDocument_960x540)->Arg(0)->Arg(9)->Arg(16)->Arg(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindDocument_480x270)->Arg(0)->Arg(9)->Arg(16)->Arg(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColdPreview_960x540)->Arg(0)->Arg(9)->Arg(16)->Arg(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColdPreview_480x270)->Arg(0)->Arg(9)->Arg(16)->Arg(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawDrawLine_960x540)->Arg(0)->Arg(9)->Arg(16)->Arg(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawDrawLine_480x270)->Arg(0)->Arg(9)->Arg(16)->Arg(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpgDrawLine_1024x768)->Arg(0)->Arg(9)->Arg(16)->Arg(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpgRotate_3840x2160)->Arg(0)->Arg(9)->Arg(5)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
