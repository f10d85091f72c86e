#!/usr/bin/env bash
# Hands-free capture figures in the real window under Xvfb, with the virtual
# camera laying pages (TAVIK_VIRTUAL_PAGES): how many photos, whether each
# shows a different page and no hand, the time from the hand leaving the
# picture (the camera's own report) to the complete file, and the preview's
# painted frame rate. Then the empty desk, which must give no photo, and the
# capture thread's cost of the watching at 3840*2160.
#
#   bench/app/autocapture_figures.sh [build folder] [pages]   (default: build-bench, 20)
#
# Judged by the files the window wrote, not by the program's own counters.
set -euo pipefail
source "$(dirname "$0")/window_probe.sh"
probe_build "${1:-$probe_root/build-bench}" autocapture_probe bench_framepipeline
pages="${2:-20}"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# run <label> <pages> <seconds> <format> <size>: prints the verdict lines.
run() {
    local label=$1 n=$2 seconds=$3 format=$4 size=$5
    local out="$scratch/$label.out" err="$scratch/$label.err"
    mkdir -p "$scratch/$label"
    TAVIK_VIRTUAL_PAGES=$n in_window ./bench/autocapture_probe "$format" "$size" 1 "$seconds" "$scratch/$label" \
        >"$out" 2>"$err" || true
    # The camera's reports ("hand gone at T") and the probe's photo lines
    # (completion time, skin share, change from the photo before) meet here:
    # photo k belongs to the page whose hand left last before it completed.
    awk -v label="$label" -v expected="$n" '
        FNR == NR { if ($0 ~ /hand gone at/) gone[++pages] = $NF; next }
        $1 == "photo" { t[++photos] = $2; sub("skin=", "", $3); skin[photos] = $3; sub("change=", "", $4); change[photos] = $4 }
        $1 == "preview" { preview = $0 }
        END {
            handInPhoto = 0; minChange = 1; worst = 0; lat_n = 0; twice = 0
            for (i = 1; i <= photos; ++i) {
                if (skin[i] > 0.001) ++handInPhoto
                if (change[i] < minChange) minChange = change[i]
                page = 0
                for (k = 1; k <= pages; ++k) if (gone[k] <= t[i]) page = k
                if (page == 0) continue
                if (seen[page]++) { ++twice; continue }
                if (page == pages || t[i] < gone[page + 1]) lat[++lat_n] = t[i] - gone[page]
            }
            n = lat_n   # insertion sort: Debian'"'"'s awk is mawk, without asort
            for (i = 2; i <= n; ++i) { v = lat[i]; for (j = i - 1; j >= 1 && lat[j] > v; --j) lat[j + 1] = lat[j]; lat[j + 1] = v }
            median = n ? (n % 2 ? lat[(n + 1) / 2] : (lat[n / 2] + lat[n / 2 + 1]) / 2) : 0
            printf "%s: %d pages laid, %d photos (expected %d); pages photographed twice %d; photos showing a hand %d; smallest change between photos %.3f\n",
                   label, pages, photos, expected, twice, handInPhoto, (photos > 1 ? minChange : 0)
            if (n) printf "%s: hand gone to complete file: median %.3f s, max %.3f s over %d pages\n", label, median, lat[n], n
            print label ": " preview
        }' "$err" "$out"
}

echo "Pages laid by hand, JPEG 1920*1080 at 30 fps, deskew on"
run pages1080 "$pages" $((5 + 4 * pages + 6)) JPEG "1920*1080"
echo "The same at 3840*2160 (preview frame rate with the watching)"
run pages2160 "$pages" $((5 + 4 * pages + 6)) JPEG "3840*2160"
echo "Empty desk for 60 seconds: no photo"
run emptydesk 0 60 JPEG "1920*1080"
echo "Capture-thread cost of the watching (3840*2160, deskew on; one core at 30 fps = 33.3 ms a frame)"
(cd "$probe_dir" && QT_QPA_PLATFORM=offscreen ./bench/bench_framepipeline --benchmark_filter='BM_JpegFrame/w:3840/h:2160/deskew:1|BM_Watching' \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=true 2>/dev/null) | grep -E '_median'
