// What the virtual document camera costs the process while it streams: the
// callback only counts, so the figures are the library's own work (frame
// assembly, pacing, thread wake-ups). Reported as CPU % of one core and the
// frame rate delivered; "steady" leaves out the first frame's preparation.
#include "camera.h"
#include "camera_testing.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

namespace {

std::atomic<long> g_frames{0};
// CPU time of the process when the first frame arrived, in ns.
std::atomic<long long> g_firstFrameCpu{0};
std::atomic<long long> g_firstFrameWall{0};

long long nowNs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

void countFrame(unsigned char* buffer, unsigned long)
{
    if (buffer && g_frames++ == 0) {
        g_firstFrameCpu = nowNs(CLOCK_PROCESS_CPUTIME_ID);
        g_firstFrameWall = nowNs(CLOCK_MONOTONIC);
    }
}

void streamVirtualCamera(benchmark::State& state, const char* format, int width, int height)
{
    const double seconds = 5.0;
    setenv("TAVIK_VIRTUAL_CAMERA", "1", 1);
    unsetenv("TAVIK_VIRTUAL_FPS");
    for (auto _ : state) {
        g_frames = 0;
        const int handle = Video_Open(TAVIK_VIRTUAL_CAMERA_PATH);
        if (handle < 0 || Video_SetParam(handle, format, width, height) < 0) {
            state.SkipWithError("virtual camera unavailable");
            return;
        }
        const long long cpu0 = nowNs(CLOCK_PROCESS_CPUTIME_ID);
        const long long wall0 = nowNs(CLOCK_MONOTONIC);
        StartCapture(handle, countFrame);
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        StopCapture(handle);
        const long long cpu1 = nowNs(CLOCK_PROCESS_CPUTIME_ID);
        const long long wall1 = nowNs(CLOCK_MONOTONIC);
        Video_Close(handle);
        const long frames = g_frames.load();
        state.SetIterationTime((wall1 - wall0) / 1e9);
        state.counters["cpu_pct_one_core"] = 100.0 * (cpu1 - cpu0) / (wall1 - wall0);
        state.counters["fps"] = frames / ((wall1 - wall0) / 1e9);
        if (frames > 1) {
            const double steadyWall = (wall1 - g_firstFrameWall.load()) / 1e9;
            state.counters["steady_cpu_pct"] = 100.0 * (cpu1 - g_firstFrameCpu.load()) / 1e9 / steadyWall;
            state.counters["first_frame_ms"] = (g_firstFrameWall.load() - wall0) / 1e6;
        }
    }
}

void BM_VirtualJpeg3840x2160(benchmark::State& state) { streamVirtualCamera(state, "JPEG", 3840, 2160); }
void BM_VirtualJpeg1920x1080(benchmark::State& state) { streamVirtualCamera(state, "JPEG", 1920, 1080); }
void BM_VirtualYuyv1920x1080(benchmark::State& state) { streamVirtualCamera(state, "YUYV", 1920, 1080); }

BENCHMARK(BM_VirtualJpeg3840x2160)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_VirtualJpeg1920x1080)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_VirtualYuyv1920x1080)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// The repair of one 4K MJPEG frame sent without Huffman tables.
void BM_RepairJpeg4kWithoutTables(benchmark::State& state)
{
    setenv("TAVIK_VIRTUAL_CAMERA", "1", 1);
    static std::vector<unsigned char> frame;
    g_frames = 0;
    const int handle = Video_Open(TAVIK_VIRTUAL_CAMERA_PATH);
    Video_SetParam(handle, "JPEG", 3840, 2160);
    StartCapture(handle, [](unsigned char* buffer, unsigned long len) {
        if (buffer && frame.empty())
            frame.assign(buffer, buffer + len);
    });
    while (frame.empty())
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    StopCapture(handle);
    Video_Close(handle);
    // Take the tables out, as an MJPEG camera sends the frame.
    std::vector<unsigned char> bare(frame.begin(), frame.begin() + 2);
    size_t pos = 2;
    while (pos + 4 <= frame.size() && frame[pos + 1] != 0xDA) {
        const size_t length = (static_cast<size_t>(frame[pos + 2]) << 8) | frame[pos + 3];
        if (frame[pos + 1] != 0xC4)
            bare.insert(bare.end(), frame.begin() + pos, frame.begin() + pos + 2 + length);
        pos += 2 + length;
    }
    bare.insert(bare.end(), frame.begin() + pos, frame.end());
    for (auto _ : state) {
        unsigned long outLen = 0;
        unsigned char* out = TavikCam_RepairJpeg(bare.data(), bare.size(), &outLen);
        benchmark::DoNotOptimize(out);
        std::free(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bare.size());
}
BENCHMARK(BM_RepairJpeg4kWithoutTables)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
