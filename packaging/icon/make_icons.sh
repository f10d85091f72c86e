#!/usr/bin/env bash
# Redraws the application icon into packaging/icons (PNGs in the theme sizes
# and the SVG) with the icon tool; commit the result.
#
#   packaging/icon/make_icons.sh [build folder]     (default: build-pkg)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build-pkg}"
if [[ ! -f "$build/build.ninja" ]]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target tavik_draw_icon >/dev/null
"$build/tavik_draw_icon" "$root/packaging/icons"
echo "icons written to $root/packaging/icons"
