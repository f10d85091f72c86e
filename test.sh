#!/usr/bin/env bash
# Installs what is missing (test tools included), builds and runs the whole
# suite with ctest on Qt's offscreen platform. Exit status is the suite's.
set -euo pipefail
cd "$(dirname "$0")"

scripts/deps.sh test
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-test

export QT_QPA_PLATFORM=offscreen
cd build-test
ctest --output-on-failure --timeout 600 "$@"
