#!/usr/bin/env bash
# Prints the live-preview figures of the application window with the virtual
# camera, shown under Xvfb at its first size: painted frames per second,
# capture-to-paint latency, CPU use and memory growth.
#
#   bench/app/preview_figures.sh [build folder]     (default: build-bench)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build-bench}"
if [[ ! -x "$build/bench/preview_probe" ]]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVIK_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target preview_probe bench_framepipeline ImageProc >/dev/null
cd "$build"   # the probe finds ./lib/libImageProc.so from here
export TAVIK_VIRTUAL_CAMERA=1 QT_QPA_PLATFORM=xcb
probe() { xvfb-run -a -s "-screen 0 1600x900x24" ./bench/preview_probe "$@" 2>/dev/null | grep -v '^cameraWidget'; }

echo "Preview at 30 fps (window 1249x561 under Xvfb)"
for size in "1920*1080" "3840*2160"; do
    TAVIK_VIRTUAL_FPS=30 probe JPEG "$size" 0 8
    TAVIK_VIRTUAL_FPS=30 probe JPEG "$size" 1 8
done
echo "YUYV at the camera's own rate"
probe YUYV "1920*1080" 0 8
echo "Photo (JPEG 3840*2160 at 30 fps: one frame interval is 33.3 ms)"
TAVIK_VIRTUAL_FPS=30 probe JPEG "3840*2160" 0 photo
echo "Memory (frames delivered fast, 240 fps)"
TAVIK_VIRTUAL_FPS=240 probe JPEG "1920*1080" 0 memory
TAVIK_VIRTUAL_FPS=240 probe JPEG "3840*2160" 1 memory
echo "Capture-thread cost of one frame (synthetic scenes: lighter than camera JPEGs)"
./bench/bench_framepipeline --benchmark_format=console 2>/dev/null | grep -E '^BM_'
