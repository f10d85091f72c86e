#!/usr/bin/env bash
# Installs what is missing, builds Release and starts the application from the
# build folder (where it finds ./lib/libImageProc.so).
set -euo pipefail
cd "$(dirname "$0")"

scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVIK_BUILD_TESTS=OFF -DTAVIK_BUILD_BENCH=OFF >/dev/null
cmake --build build

if ! compgen -G "/dev/video*" >/dev/null; then
    export TAVIK_VIRTUAL_CAMERA=1
    echo "No camera under /dev/video*: using the virtual document camera."
fi

cd build
if [[ -x ./tavikApp ]]; then
    exec ./tavikApp "$@"
else
    exec ./capture_demo "$@"
fi
