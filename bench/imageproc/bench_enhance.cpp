// Speed of ImageProc_Enhance, one core: each mode on a page straightened
// from a 3840x2160 frame (2900x2050) and on the quarter-scale preview
// picture (960x540), and the three stages on their own. The picture is
// restored before every call (outside the timing): the work is in place.
//
//   taskset -c 1 bench/bench_enhance --benchmark_repetitions=9 --benchmark_report_aggregates_only=true

#include "illumination_estimator.h"
#include "imageproc.h"
#include "local_binarizer.h"
#include "page_flattener.h"
#include "page_photographer.h"
#include "scene_random.h"
#include "sheet_composer.h"

#include <benchmark/benchmark.h>

#include <opencv2/imgproc.hpp>

#include <map>
#include <utility>

namespace {

constexpr uint32_t kSeed = 7000;

// The development set's first sheet, photographed under a lamp with the
// arm's shadow, at `size`.
const cv::Mat& photoOf(cv::Size size)
{
    static std::map<std::pair<int, int>, cv::Mat> cache;
    const auto key = std::make_pair(size.width, size.height);
    auto it = cache.find(key);
    if (it == cache.end()) {
        const cv::Size full(2900, 2050);
        SceneRandom rng(kSeed);
        const Sheet sheet = SheetComposer::make(rng.next(), full);
        const cv::Mat photo
            = PagePhotographer::shoot(sheet.clean, PagePhotographer::randomConditions(full, true, rng), rng.next());
        cv::Mat scaled = photo;
        if (size != full)
            cv::resize(photo, scaled, size, 0, 0, cv::INTER_AREA);
        it = cache.emplace(key, scaled).first;
    }
    return it->second;
}

void enhance(benchmark::State& state, cv::Size size)
{
    const cv::Mat& photo = photoOf(size);
    cv::Mat work = photo.clone();
    const int mode = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        photo.copyTo(work);
        state.ResumeTiming();
        const int stride = static_cast<int>(work.step[0]);
        benchmark::DoNotOptimize(ImageProc_Enhance(work.data, work.cols, stride, work.rows, mode));
    }
}

void BM_Enhance_2900x2050(benchmark::State& state) { enhance(state, cv::Size(2900, 2050)); }
void BM_Enhance_960x540(benchmark::State& state) { enhance(state, cv::Size(960, 540)); }

void BM_Stage_Illumination_2900x2050(benchmark::State& state)
{
    const cv::Mat& photo = photoOf(cv::Size(2900, 2050));
    for (auto _ : state)
        benchmark::DoNotOptimize(IlluminationEstimator::estimate(photo).paper.data);
}

void BM_Stage_FlattenColour_2900x2050(benchmark::State& state)
{
    const cv::Mat& photo = photoOf(cv::Size(2900, 2050));
    const IlluminationEstimator::Map map = IlluminationEstimator::estimate(photo);
    cv::Mat work = photo.clone();
    for (auto _ : state) {
        state.PauseTiming();
        photo.copyTo(work);
        state.ResumeTiming();
        PageFlattener::toColour(work, map);
    }
}

void BM_Stage_FlattenGrey_2900x2050(benchmark::State& state)
{
    const cv::Mat& photo = photoOf(cv::Size(2900, 2050));
    const IlluminationEstimator::Map map = IlluminationEstimator::estimate(photo);
    for (auto _ : state)
        benchmark::DoNotOptimize(PageFlattener::toGrey(photo, map, true).data);
}

void BM_Stage_Binarize_2900x2050(benchmark::State& state)
{
    const cv::Mat& photo = photoOf(cv::Size(2900, 2050));
    const cv::Mat grey = PageFlattener::toGrey(photo, IlluminationEstimator::estimate(photo), true);
    cv::Mat work = grey.clone();
    for (auto _ : state) {
        state.PauseTiming();
        grey.copyTo(work);
        state.ResumeTiming();
        LocalBinarizer::apply(work);
    }
}

} // namespace

BENCHMARK(BM_Enhance_2900x2050)->ArgName("mode")->DenseRange(1, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Enhance_960x540)->ArgName("mode")->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stage_Illumination_2900x2050)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stage_FlattenColour_2900x2050)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stage_FlattenGrey_2900x2050)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stage_Binarize_2900x2050)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
