#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages the build needs; with "test" also those
# the test suite and benchmarks need. Installs only what is missing.
set -euo pipefail

build_pkgs=(cmake ninja-build g++ pkg-config
            qtbase5-dev qtbase5-dev-tools
            libjpeg62-turbo-dev
            libopencv-core-dev libopencv-imgproc-dev
            libtesseract-dev tesseract-ocr-chi-sim tesseract-ocr-eng
            fonts-wqy-microhei xdg-utils)
test_pkgs=(poppler-utils qpdf xvfb xauth libbenchmark-dev img2pdf clang libclang-rt-14-dev
           file dpkg-dev ntfs-3g)

pkgs=("${build_pkgs[@]}")
if [[ "${1:-}" == "test" ]]; then
    pkgs+=("${test_pkgs[@]}")
fi

# Ubuntu names the libjpeg-turbo headers package differently.
if ! apt-cache show libjpeg62-turbo-dev >/dev/null 2>&1 && apt-cache show libjpeg-turbo8-dev >/dev/null 2>&1; then
    pkgs=("${pkgs[@]/libjpeg62-turbo-dev/libjpeg-turbo8-dev}")
fi

missing=()
for p in "${pkgs[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

SUDO=""
if [[ $(id -u) -ne 0 ]]; then
    SUDO="sudo"
fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
