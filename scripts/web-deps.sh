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

build_zlib() {
    local source=$1 file
    # zlib's own CMake file also makes a shared library and test programs; the library is
    # only its C files, so they are compiled directly.
    local objects="$deps/work/zlib-objects"
    rm -rf "$objects"
    mkdir -p "$objects" "$prefix/lib" "$prefix/include"
    for file in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast \
        inflate inftrees trees uncompr zutil; do
        emcc $flags -DHAVE_UNISTD_H -c "$source/$file.c" -o "$objects/$file.o"
    done
    rm -f "$prefix/lib/libz.a"
    emar rcs "$prefix/lib/libz.a" "$objects"/*.o
    cp "$source/zlib.h" "$source/zconf.h" "$prefix/include/"
    rm -rf "$objects"
}

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
    zlib) build_zlib "$2" ;;
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
