#!/usr/bin/env bash
# PDF composition side by side with img2pdf on the same 20 camera-like JPEG
# photos (1920x1080, quality 85): median time and file size, and their ratios;
# then the peak resident size of composing 100 such photos; and the time to
# decode, turn and save one 3840x2160 camera JPEG frame as a JPG photo.
#
#   bench/gallery/pdf_vs_img2pdf.sh [build-dir]     (default: build-test)
set -euo pipefail
repo="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$repo/build-test}"
if [[ ! -f "$build/build.ninja" ]]; then
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target bench_gallery_pdf >/dev/null
bench="$build/bench/bench_gallery_pdf"
export QT_QPA_PLATFORM=offscreen
export TAVIK_BENCH_DIR="${TAVIK_BENCH_DIR:-${TMPDIR:-/tmp}/tavik_gallery_bench}"

"$bench" --make-photos 100 2>/dev/null
json="$(mktemp)"
trap 'rm -f "$json"' EXIT
"$bench" --benchmark_repetitions=5 --benchmark_out="$json" --benchmark_out_format=json >/dev/null 2>&1

python3 - "$json" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
med = {r["run_name"].rsplit("/real_time", 1)[0]: r for r in runs if r.get("aggregate_name") == "median"}
q = med["BM_PdfComposer_20Photos"]; i = med["BM_Img2pdf_20Photos"]
print("load average %s" % open("/proc/loadavg").read().split()[0])
print("20 photos 1920x1080    median time    PDF size")
print("  PdfComposer          %8.0f ms   %6.2f MB" % (q["real_time"], q["bytes"] / 1e6))
print("  img2pdf              %8.0f ms   %6.2f MB" % (i["real_time"], i["bytes"] / 1e6))
print("  ratio                %8.2fx     %6.2fx   (limits 2.5x, 1.5x)"
      % (q["real_time"] / i["real_time"], q["bytes"] / i["bytes"]))
print("photo from a 3840x2160 JPEG frame, saved as JPG (median)")
print("  decode + save, no rotation   %6.1f ms" % med["BM_PhotoSave_4kJpegFrame/0"]["real_time"])
print("  decode + turn 90 + save      %6.1f ms" % med["BM_PhotoSave_4kJpegFrame/90"]["real_time"])
print("  encode + write alone         %6.1f ms" % med["BM_PhotoEncodeOnly_4k"]["real_time"])
PY

peak="$( { /usr/bin/time -v "$bench" --peak-rss 100 >/dev/null; } 2>&1 | awk -F': ' '/Maximum resident/ {print $2}')"
echo "100 photos: peak RSS $((peak / 1024)) MB (limit 300 MB)"
