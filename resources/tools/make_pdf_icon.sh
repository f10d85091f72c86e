#!/usr/bin/env bash
# Regenerates resources/Pdf.png (the strip's icon for PDF entries).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
g++ -std=c++17 -fPIC "$here/make_pdf_icon.cpp" -o "$tmp/make_pdf_icon" \
    $(pkg-config --cflags --libs Qt5Gui)
QT_QPA_PLATFORM=offscreen "$tmp/make_pdf_icon" "$here/../Pdf.png"
