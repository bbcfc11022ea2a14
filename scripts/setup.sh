#!/usr/bin/env bash
# Installs what Lakra's two builds need on Debian 12, and builds for mingw-w64
# what Debian does not package for it (libjpeg-turbo with the 6b interface and
# GoogleTest). Safe to run again: it installs only what is missing and reuses
# the cached builds in .deps/.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
deps="$root/.deps"
prefix="$deps/x86_64-w64-mingw32"
jobs=$(nproc 2>/dev/null || echo 2)

packages=(
    build-essential cmake ninja-build pkg-config xz-utils dpkg-dev nasm
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine wine64 xvfb xauth xdotool
    googletest libgtest-dev libgmock-dev libbenchmark-dev libjpeg62-turbo-dev
    libopenimageio-dev openimageio-tools libpng-dev libtiff-dev libtiff-tools libopenexr-dev libimage-exiftool-perl libcli11-dev python3
    mate-backgrounds clang libclang-rt-14-dev tidy imagemagick chromium
    clang-format clang-tidy
)

sudo_if_needed() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    sudo_if_needed apt-get update -qq
    sudo_if_needed env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
fi

mkdir -p "$deps"

# Sources come from Debian's archive. deb-src is switched on only for these
# calls, through a sources list and a package-list folder of our own.
apt_src() {
    local state="$deps/apt"
    mkdir -p "$state/lists/partial"
    if [ ! -f "$state/sources.list" ]; then
        local uri
        # The machine's own Debian mirror, when it names one.
        uri=$(grep -h -E '^(URIs:|deb) ' /etc/apt/sources.list.d/debian.sources /etc/apt/sources.list \
              2>/dev/null | awk '{print $2; exit}' || true)
        uri=${uri:-http://deb.debian.org/debian}
        echo "deb-src $uri bookworm main" > "$state/sources.list"
    fi
    apt-get -o Dir::Etc::SourceList="$state/sources.list" -o Dir::Etc::SourceParts=/dev/null \
            -o Dir::State::Lists="$state/lists" "$@"
}

toolchain="$root/cmake/mingw-w64-x86_64.cmake"

# libjpeg-turbo for mingw, static, 6b interface.
jpeg_stamp="$prefix/.libjpeg-turbo-built"
if [ ! -f "$jpeg_stamp" ]; then
    echo "setup: building libjpeg-turbo for x86_64-w64-mingw32"
    src="$deps/src"
    rm -rf "$src/libjpeg-turbo"
    mkdir -p "$src/libjpeg-turbo"
    apt_src update -qq
    (cd "$src/libjpeg-turbo" && apt_src source -qq libjpeg-turbo >/dev/null)
    dir=$(find "$src/libjpeg-turbo" -mindepth 1 -maxdepth 1 -type d -name 'libjpeg-turbo-*' | head -n1)
    cmake -S "$dir" -B "$dir/build-mingw" -G Ninja -Wno-dev \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
        -DWITH_TURBOJPEG=OFF -DWITH_JPEG7=OFF -DWITH_JPEG8=OFF -DWITH_SIMD=ON \
        -DCMAKE_POSITION_INDEPENDENT_CODE=ON >/dev/null
    cmake --build "$dir/build-mingw" -j "$jobs" >/dev/null
    cmake --install "$dir/build-mingw" >/dev/null
    touch "$jpeg_stamp"
fi

# GoogleTest for mingw, from Debian's googletest sources.
gtest_stamp="$prefix/.googletest-built"
if [ ! -f "$gtest_stamp" ]; then
    echo "setup: building GoogleTest for x86_64-w64-mingw32"
    cmake -S /usr/src/googletest -B "$deps/build-googletest-mingw" -G Ninja -Wno-dev \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" -Dgtest_disable_pthreads=OFF \
        -DCMAKE_EXE_LINKER_FLAGS="-static" >/dev/null
    cmake --build "$deps/build-googletest-mingw" -j "$jobs" >/dev/null
    cmake --install "$deps/build-googletest-mingw" >/dev/null
    touch "$gtest_stamp"
fi

echo "setup: ready"
