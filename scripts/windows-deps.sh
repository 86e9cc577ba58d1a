#!/usr/bin/env bash
# Builds the libraries of the Windows cross build (libpng, libmpg123, GoogleTest) as static
# MinGW-w64 libraries into build/windows-deps/prefix, from Debian's own source packages of the
# same libraries. zlib comes ready-built from libz-mingw-w64-dev. Nothing is fetched from
# anywhere but the Debian archive, and every upstream tarball is checked against the SHA-256
# its Debian source description gives. A library already built at the same version is skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
deps="$root/build/windows-deps"
prefix="$deps/prefix"
toolchain="$root/cmake/mingw-w64.cmake"
jobs=$(nproc)

scripts/setup.sh g++-mingw-w64-x86-64-posix libz-mingw-w64-dev dpkg-dev xz-utils bzip2

# The same libraries as the host build uses: the versions of the Debian release installed.
packages=(libpng1.6 mpg123 googletest)

tag=windows-deps
# shellcheck source=scripts/debian-sources.sh
source scripts/debian-sources.sh

cmake_build() {
    local source=$1 build=$2
    shift 2
    rm -rf "$build"
    cmake -S "$source" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DDEMO_WINDOWS_DEPS="$prefix" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF "$@" >"$build.log" 2>&1 ||
        { tail -30 "$build.log"; return 1; }
    cmake --build "$build" -j "$jobs" >>"$build.log" 2>&1 || { tail -30 "$build.log"; return 1; }
    cmake --install "$build" >>"$build.log" 2>&1 || { tail -30 "$build.log"; return 1; }
}

build_source() {
    local package=$1 source=$2
    case "$package" in
    libpng1.6)
        cmake_build "$source" "$deps/work/$package-build" -DPNG_SHARED=OFF -DPNG_STATIC=ON \
            -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -Dld-version-script=OFF
        ;;
    mpg123)
        cmake_build "$source/ports/cmake" "$deps/work/$package-build" -DBUILD_PROGRAMS=OFF \
            -DBUILD_LIBOUT123=OFF -DNETWORK=OFF
        ;;
    googletest)
        cmake_build "$source" "$deps/work/$package-build" -DBUILD_GMOCK=OFF \
            -Dgtest_disable_pthreads=ON
        ;;
    esac
}

mkdir -p "$prefix"
for package in "${packages[@]}"; do
    # A verified download of an earlier run is reused as it is.
    dsc=$(source_dsc "$package")
    build_package "$package" "$dsc"
done
echo "windows-deps: ready in $prefix"
