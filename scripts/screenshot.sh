#!/usr/bin/env bash
# Starts the application under Xvfb with the virtual document camera, lets the
# preview run for two seconds and saves the window as a PNG.
#
#   scripts/screenshot.sh [output.png]      (default: docs/screenshot.png)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath -m "${1:-$root/docs/screenshot.png}")"
build="$root/build-screenshot"
mkdir -p "$(dirname "$out")"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVIK_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target app_probe ImageProc TavikOcr >/dev/null

cd "$build"   # the application finds ./lib/libImageProc.so and ./lib/libTavikOcr.so from here
TAVIK_VIRTUAL_CAMERA=1 QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x600x24" ./tests/app_probe --screenshot "$out" 2>/dev/null | grep '^screenshot='
