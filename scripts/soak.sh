#!/usr/bin/env bash
# Soak run: the application window under Xvfb with the virtual camera at JPEG
# 3840*2160, 30 fps, deskew on, a photo every 2 seconds and a PDF every 2
# minutes. Passes when nothing crashed, resident memory grew at most 10 MB
# after the warm-up and every photo and PDF is complete and readable.
#
#   scripts/soak.sh [minutes]          (default 30; build folder: build-bench)
#
# The photos and PDFs are kept in a temporary folder when the run fails.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
minutes="${1:-30}"
build="${TAVIK_SOAK_BUILD:-$root/build-bench}"

if [[ ! -f "$build/build.ninja" ]]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVIK_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target soak_probe ImageProc >/dev/null

out="$(mktemp -d /tmp/tavik-soak.XXXXXX)"
log="$out/soak.log"
cd "$build"   # the program finds ./lib/libImageProc.so from here
status=0
TAVIK_VIRTUAL_CAMERA=1 TAVIK_VIRTUAL_FPS=30 QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1600x900x24" ./bench/soak_probe "$minutes" "$out" >"$log" 2>"$out/stderr.log" \
    || status=$?
grep '^soak:' "$log" || true

# Every PDF once more, now that the program is gone.
pdfs=0
unreadable=0
while IFS= read -r -d '' pdf; do
    pdfs=$((pdfs + 1))
    pdfinfo "$pdf" >/dev/null 2>&1 || { unreadable=$((unreadable + 1)); echo "soak: pdfinfo fails on $pdf"; }
done < <(find "$out" -name '*.pdf' -print0)
photos=$(find "$out" -name '*.jpg' | wc -l)
echo "soak: on disk: $photos photos, $pdfs PDFs ($unreadable unreadable)"

if [[ $status -ne 0 || $unreadable -ne 0 ]] || ! grep -q '^soak: PASS' "$log"; then
    echo "soak: FAILED (exit status $status); files and logs kept in $out"
    exit 1
fi
rm -rf "$out"
echo "soak: passed"
