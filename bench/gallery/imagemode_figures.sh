#!/usr/bin/env bash
# Image mode figures in the real window under Xvfb: the virtual camera shows
# pages of known text at 3840*2160 with deskew on. Prints the preview's
# painted frame rate in each mode, and for PAGES pages (default 20) photographed
# in each mode the time from the click to the file, the files' sizes and the
# size of a PDF of them.
#
#   bench/gallery/imagemode_figures.sh [build folder] [pages]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(realpath -m "${1:-$root/build-bench}")"
pages="${2:-20}"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVIK_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target imagemode_probe ImageProc >/dev/null
cd "$build"   # the probe finds ./lib/libImageProc.so from here
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
TAVIK_VIRTUAL_CAMERA=1 TAVIK_VIRTUAL_FPS=30 QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1600x900x24" ./bench/imagemode_probe "$scratch" "$pages" 2>/dev/null \
    | grep -Ev '^cameraWidget'
