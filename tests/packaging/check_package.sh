#!/usr/bin/env bash
# Checks, installs (dpkg -i, or dpkg -x when that could disturb the machine),
# starts and purges the .deb cpack left in BUILD_DIR.
#   check_package.sh BUILD_DIR PLUGIN_DIR CMAKE
set -uo pipefail
build=$1 plugins=$2 cmake=$3

status=0
fail() { echo "FAIL: $*"; status=1; }
pass() { echo "ok: $*"; }
debs=("$build"/tavikapp_1.0.0_*.deb)
deb=${debs[0]}
[[ -f $deb ]] || { echo "FAIL: no tavikapp_1.0.0_*.deb in $build"; exit 1; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tavik-package.XXXXXX")
installed=0
trap '[[ $installed -eq 1 ]] && dpkg --purge tavikapp >/dev/null 2>&1; rm -rf "$scratch"' EXIT

expected_files() {
    printf '%s\n' opt/tavikApp/tavikApp opt/tavikApp/libcamera.so opt/tavikApp/lib/libImageProc.so \
        opt/tavikApp/lib/libTavikOcr.so \
        usr/bin/tavikApp usr/share/applications/tavikApp.desktop \
        usr/share/icons/hicolor/scalable/apps/tavikApp.svg
    for n in 16 24 32 48 64 128 256; do echo "usr/share/icons/hicolor/${n}x${n}/apps/tavikApp.png"; done
}

for kv in Package=tavikapp Version=1.0.0 Section=graphics; do
    [[ $(dpkg-deb -f "$deb" "${kv%%=*}") == "${kv#*=}" ]] || fail "control field is not $kv"
done
[[ -n $(dpkg-deb -f "$deb" Maintainer) ]] || fail "no Maintainer"
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt5widgets5 libqt5gui5 libqt5core5a libjpeg62-turbo libopencv-core406 libopencv-imgproc406 \
           libtesseract5 "fonts-wqy-microhei | fonts-noto-cjk" xdg-utils; do
    [[ ", $depends," == *", $dep"[\ ,]* ]] || fail "Depends lacks '$dep': $depends"
done
# Without the language data the program runs, only without searchable PDFs.
recommends=$(dpkg-deb -f "$deb" Recommends)
for dep in tesseract-ocr-chi-sim tesseract-ocr-eng; do
    [[ ", $recommends," == *", $dep"[\ ,]* ]] || fail "Recommends lacks '$dep': $recommends"
done

# Maintainer scripts or conffiles would leave things dpkg --purge does not list.
extra=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | grep -Ev '^(|control|md5sums)$')
[[ -z $extra ]] || fail "control archive holds more than control and md5sums: $extra"

packaged=$(dpkg-deb -c "$deb" | awk '$1 ~ /^-/ {print $NF}' | sed 's|^\./||' | sort)
[[ $packaged == "$(expected_files | sort)" ]] || fail "package files differ:"$'\n'"$packaged"
DESTDIR="$scratch/stage" "$cmake" --install "$build" --prefix / >/dev/null || fail "cmake --install failed"
staged=$(cd "$scratch/stage" && find . -type f | sed 's|^\./||' | sort)
[[ $staged == "$packaged" ]] || fail "cmake --install lays out other files:"$'\n'"$staged"

missing_dependencies() {
    local group alt
    IFS=',' read -ra groups <<<"$depends"
    for group in "${groups[@]}"; do
        IFS='|' read -ra alts <<<"$group"
        for alt in "${alts[@]}" ""; do
            [[ -z $alt ]] && echo -n "${group# } "
            alt=$(sed 's/([^)]*)//; s/[[:space:]]//g; s/:any$//' <<<"$alt")
            dpkg-query -W -f='${Status}' "$alt" 2>/dev/null | grep -q "install ok installed" && break
        done
    done
}

why_unpack=""
if [[ ${TAVIK_PACKAGE_TEST:-} == unpack ]]; then
    why_unpack="TAVIK_PACKAGE_TEST=unpack"
elif [[ $(id -u) -ne 0 ]]; then
    why_unpack="not root"
elif [[ -n $(dpkg-query -W -f='${db:Status-Status}' tavikapp 2>/dev/null | grep -v not-installed) ]]; then
    why_unpack="tavikapp is already installed"
elif [[ -e /opt/tavikApp || -e /usr/bin/tavikApp || -e /usr/share/applications/tavikApp.desktop ]]; then
    why_unpack="/opt/tavikApp or the launcher is already there"
else
    missing=$(missing_dependencies)
    [[ -z $missing ]] || why_unpack="dependencies not installed: $missing"
fi

root=""
if [[ -z $why_unpack ]]; then
    installed=1
    dpkg -i "$deb" >"$scratch/dpkg.log" 2>&1 || { cat "$scratch/dpkg.log"; fail "dpkg -i"; exit 1; }
else
    root="$scratch/root"
    dpkg -x "$deb" "$root" || { fail "dpkg -x"; exit 1; }
fi
pass "installed into '$root' (${why_unpack:-dpkg -i})"

while read -r f; do
    [[ -f $root/$f ]] || fail "missing /$f"
done < <(expected_files)
[[ -x $root/usr/bin/tavikApp ]] || fail "launcher not executable"
grep -q '^exec /opt/tavikApp/tavikApp "\$@"$' "$root/usr/bin/tavikApp" || fail "launcher does not start /opt/tavikApp/tavikApp"
desktop="$root/usr/share/applications/tavikApp.desktop"
for line in 'Type=Application' 'Name=塔维克高拍仪软件' 'Exec=tavikApp' 'Icon=tavikApp' 'Categories=Office;Scanning;Graphics;'; do
    grep -qxF "$line" "$desktop" || fail "desktop entry lacks $line"
done
! command -v desktop-file-validate >/dev/null || desktop-file-validate "$desktop" || fail "desktop-file-validate"

mkdir -p "$scratch/cwd" "$scratch/tmp"
if [[ -z $root ]]; then
    program=(tavikApp)          # the launcher, found on PATH
    cwd="$scratch/cwd"          # no ./lib here: only the first search path can work
    imageproc=/opt/tavikApp/lib/libImageProc.so
    ocr=/opt/tavikApp/lib/libTavikOcr.so
else
    program=("$root/opt/tavikApp/tavikApp")
    cwd="$root/opt/tavikApp"    # ./lib/libImageProc.so, the second search path
    imageproc="$root/opt/tavikApp/lib/libImageProc.so"
    [[ -f /opt/tavikApp/lib/libImageProc.so ]] && imageproc=/opt/tavikApp/lib/libImageProc.so
    ocr="$root/opt/tavikApp/lib/libTavikOcr.so"
    [[ -f /opt/tavikApp/lib/libTavikOcr.so ]] && ocr=/opt/tavikApp/lib/libTavikOcr.so
fi
out=$(cd "$cwd" && env PATH="/usr/local/bin:/usr/bin:/bin" TMPDIR="$scratch/tmp" \
    QT_QPA_PLATFORM=offscreen TAVIK_VIRTUAL_CAMERA=1 \
    QT_PLUGIN_PATH="$plugins" QT_QPA_GENERIC_PLUGINS=tavikwindowcloser:2000 \
    timeout 30 "${program[@]}" 2>"$scratch/stderr")
code=$?
echo "$out" | sed 's/^/  program: /'
[[ $code -eq 0 ]] || { fail "program ended with status $code"; tail -5 "$scratch/stderr"; }
grep -qxF "window=塔维克高拍仪软件v1.0.0" <<<"$out" || fail "no window titled 塔维克高拍仪软件v1.0.0 after 2 s"
grep -qxF "imageproc=$imageproc" <<<"$out" || fail "libImageProc.so not mapped from $imageproc"
grep -qxF "camera=$root/opt/tavikApp/libcamera.so" <<<"$out" || fail "libcamera.so not mapped from beside the program"
grep -qxF "ocr=$ocr" <<<"$out" || fail "libTavikOcr.so not mapped from $ocr"
[[ $status -eq 0 ]] && pass "installed program came up, found its libraries, exited with status 0"

if [[ $installed -eq 1 ]]; then
    dpkg --purge tavikapp >"$scratch/dpkg.log" 2>&1 || { cat "$scratch/dpkg.log"; fail "dpkg --purge"; }
    installed=0
    while read -r f; do
        [[ ! -e /$f ]] || fail "/$f left after purge"
    done < <(expected_files)
    [[ ! -e /opt/tavikApp ]] || fail "/opt/tavikApp left after purge"
    [[ -z $(dpkg -L tavikapp 2>/dev/null) ]] || fail "dpkg -L tavikapp still lists files"
    [[ $status -eq 0 ]] && pass "purged: nothing of the package left"
fi

exit $status
