#!/usr/bin/env bash
# Builds zlib and libpng as static WebAssembly libraries into build/web-deps/prefix with
# Debian's Emscripten, from Debian's own source packages of the versions the host build uses.
# Nothing is fetched from anywhere but the Debian archive; every upstream tarball is checked
# against the SHA-256 its Debian source description gives. A library already built at the same
# version is skipped. (Emscripten's own ports download from elsewhere, so they are not used.)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
deps="$root/build/web-deps"
prefix="$deps/prefix"
toolchain=/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake
jobs=$(nproc)
tag=web-deps

scripts/setup.sh emscripten node-acorn dpkg-dev xz-utils
# Debian's Emscripten looks for acorn among Node's global modules.
export NODE_PATH=/usr/share/nodejs

# shellcheck source=scripts/debian-sources.sh
source scripts/debian-sources.sh

flags="-O3 -msimd128"

build_libpng() {
    local source=$1 build="$deps/work/libpng-build"
    rm -rf "$build"
    emcmake cmake -S "$source" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_FLAGS="$flags" -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include" \
        -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
        -DPNG_HARDWARE_OPTIMIZATIONS=OFF -Dld-version-script=OFF >"$build.log" 2>&1 ||
        { tail -30 "$build.log"; return 1; }
    cmake --build "$build" -j "$jobs" >>"$build.log" 2>&1 || { tail -30 "$build.log"; return 1; }
    cmake --install "$build" >>"$build.log" 2>&1 || { tail -30 "$build.log"; return 1; }
    rm -rf "$build"
}

build_source() {
    case "$1" in
    zlib) build_zlib_archive "$2" emcc emar "$flags" ;;
    libpng1.6) build_libpng "$2" ;;
    esac
}

mkdir -p "$prefix"
# zlib first: libpng is configured against it.
for package in zlib libpng1.6; do
    dsc=$(source_dsc "$package")
    build_package "$package" "$dsc"
done
echo "$tag: ready in $prefix"
