#!/usr/bin/env bash
# Builds Release and runs every benchmark one after the other, so that the
# figures of one run are measured side by side on the same quiet machine.
#
#   bench/run_all.sh [build folder]     (default: build-bench)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${1:-$root/build-bench}")"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVIK_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" >/dev/null
export QT_QPA_PLATFORM=offscreen
reps=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true)

echo "== capture library: virtual camera cost"
"$build/bench/bench_capture" "${reps[@]}"
echo "== pixel conversions"
"$build/bench/bench_conversions" "${reps[@]}"
echo "== image processing"
(cd "$build" && ./bench/bench_imageproc "${reps[@]}")
echo "== page detection accuracy: 300 scenes on the evaluation seeds"
"$build/bench/imageproc_eval" --set eval
echo "== scan-like picture modes: speed on one core, quality on the held-out sheets"
taskset -c 1 "$build/bench/bench_enhance" "${reps[@]}"
"$build/bench/enhance_eval" --set heldout
echo "== photos and PDF"
"$root/bench/gallery/pdf_vs_img2pdf.sh" "$build"
echo "== image modes"
"$root/bench/gallery/imagemode_figures.sh" "$build" 20
echo "== searchable PDFs"
"$root/bench/gallery/searchable_pdf_figures.sh" "$build" 20
echo "== live preview"
"$root/bench/app/preview_figures.sh" "$build"
echo "== hands-free photos"
"$root/bench/app/autocapture_figures.sh" "$build"
