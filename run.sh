#!/usr/bin/env bash
# Installs what is missing, builds Release and starts the application from the
# build folder (where it finds ./lib/libImageProc.so). Without a camera it
# uses the virtual document camera; without a display it shows the window
# over VNC.
set -euo pipefail
cd "$(dirname "$0")"

scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVIK_BUILD_TESTS=OFF -DTAVIK_BUILD_BENCH=OFF >/dev/null
cmake --build build

if ! compgen -G "/dev/video*" >/dev/null; then
    export TAVIK_VIRTUAL_CAMERA=1
    echo "No camera under /dev/video*: using the virtual document camera."
fi

# Qt's VNC platform ships with Debian's Qt: the window needs no X or Wayland.
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} && -z ${QT_QPA_PLATFORM:-} ]]; then
    export QT_QPA_PLATFORM="vnc:size=1280x600:port=5900"
    echo "No display: the window is served over VNC on port 5900; connect a viewer, e.g. 'vncviewer localhost:5900' (from another machine: 'ssh -L 5900:localhost:5900 $(hostname 2>/dev/null || echo this-host)' first)."
fi

cd build
if [[ -x ./tavikApp ]]; then
    exec ./tavikApp "$@"
else
    exec ./capture_demo "$@"
fi
