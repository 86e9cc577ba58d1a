#!/usr/bin/env bash
# Builds the libraries of the packaged Linux demo (preset "package") as static, position-
# independent libraries into build/linux-deps/prefix, from Debian's own source packages of the
# versions the host build uses: zlib, libpng, libmpg123 and SDL2. The demo links them in, so
# the archive needs no library beyond the C runtime.
#
# SDL is built to load the window system's and the sound system's libraries (X11, Wayland,
# ALSA, PulseAudio, D-Bus) when it starts them, not at program start: a desktop has them, a
# bare system runs the demo headless without them. Nothing is fetched from anywhere but the
# Debian archive; every upstream tarball is checked against the SHA-256 its Debian source
# description gives. A library already built at the same version is skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
deps="$root/build/linux-deps"
prefix="$deps/prefix"
jobs=$(nproc)
tag=linux-deps

# The headers SDL compiles its loaders against (the libraries themselves are not linked).
scripts/setup.sh --play dpkg-dev xz-utils bzip2 libx11-dev libxext-dev libxcursor-dev libxi-dev \
    libxrandr-dev libxss-dev libxfixes-dev libxkbcommon-dev libwayland-dev libdecor-0-dev \
    libegl-dev libgl-dev libasound2-dev libpulse-dev libdbus-1-dev

# shellcheck source=scripts/debian-sources.sh
source scripts/debian-sources.sh

flags="-O2 -fPIC"

cmake_build() {
    local source=$1 build=$2
    shift 2
    rm -rf "$build"
    cmake -S "$source" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_FLAGS="$flags" -DCMAKE_POSITION_INDEPENDENT_CODE=ON \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_PREFIX_PATH="$prefix" \
        -DBUILD_SHARED_LIBS=OFF "$@" >"$build.log" 2>&1 || { tail -30 "$build.log"; return 1; }
    cmake --build "$build" -j "$jobs" >>"$build.log" 2>&1 || { tail -30 "$build.log"; return 1; }
    cmake --install "$build" >>"$build.log" 2>&1 || { tail -30 "$build.log"; return 1; }
}

build_source() {
    local package=$1 source=$2
    local build="$deps/work/$package-build"
    case "$package" in
    zlib)
        build_zlib_archive "$source" gcc ar "$flags"
        ;;
    libpng1.6)
        cmake_build "$source" "$build" -DZLIB_LIBRARY="$prefix/lib/libz.a" \
            -DZLIB_INCLUDE_DIR="$prefix/include" -DPNG_SHARED=OFF -DPNG_STATIC=ON \
            -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -Dld-version-script=OFF
        ;;
    mpg123)
        cmake_build "$source/ports/cmake" "$build" -DBUILD_PROGRAMS=OFF -DBUILD_LIBOUT123=OFF \
            -DNETWORK=OFF
        ;;
    libsdl2)
        # Every driver of a system library is loaded when it starts (*_SHARED); drivers that
        # only other systems use, and the subsystems the demo does not start (joysticks,
        # haptics, sensors), are left out.
        cmake_build "$source" "$build" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_STATIC_PIC=ON \
            -DSDL_TEST=OFF -DSDL_RPATH=OFF -DSDL2_DISABLE_SDL2MAIN=ON -DSDL2_DISABLE_UNINSTALL=ON \
            -DSDL_X11=ON -DSDL_X11_SHARED=ON -DSDL_WAYLAND=ON -DSDL_WAYLAND_SHARED=ON \
            -DSDL_WAYLAND_LIBDECOR=ON -DSDL_WAYLAND_LIBDECOR_SHARED=ON -DSDL_WAYLAND_QT_TOUCH=OFF \
            -DSDL_ALSA=ON -DSDL_ALSA_SHARED=ON -DSDL_PULSEAUDIO=ON -DSDL_PULSEAUDIO_SHARED=ON \
            -DSDL_DBUS=ON -DSDL_IBUS=OFF -DSDL_OPENGL=ON -DSDL_OPENGLES=ON \
            -DSDL_PIPEWIRE=OFF -DSDL_JACK=OFF -DSDL_ESD=OFF -DSDL_ARTS=OFF -DSDL_NAS=OFF \
            -DSDL_SNDIO=OFF -DSDL_OSS=OFF -DSDL_LIBSAMPLERATE=OFF -DSDL_KMSDRM=OFF \
            -DSDL_VULKAN=OFF -DSDL_RPI=OFF -DSDL_VIVANTE=OFF -DSDL_DIRECTFB=OFF \
            -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF -DSDL_HIDAPI=OFF -DSDL_SENSOR=OFF
        ;;
    esac
}

mkdir -p "$prefix"
# zlib first: libpng is configured against it.
for package in zlib libpng1.6 mpg123 libsdl2; do
    dsc=$(source_dsc "$package")
    build_package "$package" "$dsc"
done
echo "$tag: ready in $prefix"
