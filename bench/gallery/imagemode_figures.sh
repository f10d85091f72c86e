#!/usr/bin/env bash
# Image mode figures in the real window under Xvfb: the virtual camera shows
# pages of known text at 3840*2160 with deskew on. Prints the preview's
# painted frame rate in each mode, and for PAGES pages (default 20) photographed
# in each mode the time from the click to the file, the files' sizes and the
# size of a PDF of them.
#
#   bench/gallery/imagemode_figures.sh [build folder] [pages]
set -euo pipefail
source "$(dirname "$0")/../app/window_probe.sh"
probe_build "${1:-$probe_root/build-bench}" imagemode_probe
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
in_window ./bench/imagemode_probe "$scratch" "${2:-20}" 2>/dev/null | grep -Ev '^cameraWidget'
