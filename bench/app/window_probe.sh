# Sourced by the figure scripts that drive the real window under Xvfb:
#   probe_build <build folder> <targets...>   configures (Release) when new, builds the targets
#   in_window <program> <args...>             runs it from the build folder under Xvfb with the virtual camera
# The programs find ./lib/libImageProc.so (and ./lib/libTavikOcr.so) from the build folder.
probe_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

probe_build() {
    probe_dir="$(realpath -m "$1")"
    shift
    if [[ ! -f "$probe_dir/CMakeCache.txt" ]]; then
        cmake -S "$probe_root" -B "$probe_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVIK_BUILD_TESTS=OFF >/dev/null
    fi
    cmake --build "$probe_dir" --target "$@" ImageProc >/dev/null
}

in_window() {
    (cd "$probe_dir" && TAVIK_VIRTUAL_CAMERA=1 TAVIK_VIRTUAL_FPS=${TAVIK_VIRTUAL_FPS:-30} QT_QPA_PLATFORM=xcb \
        xvfb-run -a -s "-screen 0 1600x900x24" "$@")
}
