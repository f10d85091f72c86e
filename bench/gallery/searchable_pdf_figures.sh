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
source "$(dirname "$0")/../app/window_probe.sh"
probe_build "${1:-$probe_root/build-bench}" searchable_pdf_probe TavikOcr
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
in_window ./bench/searchable_pdf_probe "$scratch" "${2:-20}" 2>/dev/null | grep -Ev '^cameraWidget'
