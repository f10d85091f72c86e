#!/usr/bin/env bash
# Installs what is missing (test tools included), builds and runs the whole
# suite with ctest on Qt's offscreen platform, then again under
# AddressSanitizer+UndefinedBehaviorSanitizer, the threaded parts under
# ThreadSanitizer, and every fuzz target for a short fixed time.
# Exit status is non-zero when any stage fails.
#
#   ./test.sh            everything
#   ./test.sh --quick    the plain build and suite only
set -uo pipefail
cd "$(dirname "$0")"
root=$PWD

quick=0
if [[ "${1:-}" == "--quick" ]]; then quick=1; shift; fi

scripts/deps.sh test || exit 1
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

status=0
stage() { echo; echo "==== $*"; }

build() {  # build <dir> <cmake args...>
    local dir=$1; shift
    cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null && cmake --build "$dir" -j "$jobs"
}

stage "build and test"
if build build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo; then
    (cd build-test && ctest --output-on-failure -j "$jobs" "$@") || status=1
else
    status=1
fi
[[ $quick -eq 1 ]] && exit $status

stage "AddressSanitizer + UndefinedBehaviorSanitizer"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
if build build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVIK_SANITIZE=address -DTAVIK_BUILD_BENCH=OFF; then
    (cd build-asan && ctest --output-on-failure -j "$jobs" -LE packaging "$@") || status=1
else
    status=1
fi

stage "ThreadSanitizer: capture library and frame pipeline"
export TSAN_OPTIONS="suppressions=$root/tests/sanitizers/tsan.supp:halt_on_error=1:second_deadlock_stack=1"
if build build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVIK_SANITIZE=thread -DTAVIK_BUILD_BENCH=OFF; then
    (cd build-tsan && ctest --output-on-failure -j "$jobs" -L threads "$@") || status=1
else
    status=1
fi

if [[ -x fuzz/run.sh ]]; then
    stage "fuzz targets, short run"
    fuzz/run.sh 15 || status=1
fi

echo
if [[ $status -eq 0 ]]; then echo "test.sh: all stages passed"; else echo "test.sh: FAILED"; fi
exit $status
