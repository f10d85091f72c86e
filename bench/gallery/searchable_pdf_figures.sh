#!/usr/bin/env bash
# Searchable PDF figures in the real window under Xvfb: the virtual camera
# shows a letter, a table and a receipt of known text at 3840*2160, deskew
# on; PAGES photos (default 20) become one PDF without text and one with.
# Prints the time per page, the preview's painted frame rate meanwhile, the
# growth of the file, the process's peak memory, and what pdftotext reads
# against what is printed (Chinese characters and English letters apart).
#
#   bench/gallery/searchable_pdf_figures.sh [build folder] [pages]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(realpath -m "${1:-$root/build-bench}")"
pages="${2:-20}"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVIK_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target searchable_pdf_probe ImageProc TavikOcr >/dev/null
cd "$build"   # the probe finds ./lib/libImageProc.so and ./lib/libTavikOcr.so from here
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
TAVIK_VIRTUAL_CAMERA=1 TAVIK_VIRTUAL_FPS=30 QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1600x900x24" ./bench/searchable_pdf_probe "$scratch" "$pages" 2>/dev/null \
    | grep -Ev '^cameraWidget'
