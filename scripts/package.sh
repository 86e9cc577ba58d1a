#!/usr/bin/env bash
# Makes the release files in dist/:
#   demo110-linux-x86_64.tar.gz   the program, data/ and demo110.txt (which names the Debian
#                                 packages it needs at run time)
#   demo110-windows.zip           demo.exe, data/ and demo110.txt
#   demo110-web.zip               the page, when the browser build exists (scripts/web.sh)
#   demo110-1080p.mp4             the show as an upload-ready video
# Usage: scripts/package.sh [linux] [windows] [web] [video]   (default: all four)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
parts=("$@")
[ "${#parts[@]}" -gt 0 ] || parts=(linux windows web video)
want() { local p; for p in "${parts[@]}"; do [ "$p" = "$1" ] && return 0; done; return 1; }

scripts/setup.sh zip binutils
# The release build without the edit mode (preset "package"): the packaged demo then needs
# neither the MP3 encoder nor the font library, which only the generator uses.
cmake --preset package >/dev/null
cmake --build --preset package --target demo capture data
bin=build/package/bin
version=$("$bin/demo" --version | awk '{ print $2 }')
dist="$root/dist"
mkdir -p "$dist"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

# The info file: what it is, who made it, how to watch it (the program's own --help) and what
# it needs. $1: platform line, $2: requirements text.
info() {
    cat <<TEXT
demo110 $version - a real-time audiovisual demo: 101 seconds of music and pictures, every pixel
drawn by its own software renderer.

Credits
$(sed -n 's/^credits[12] = \(.*\) | \(.*\)$/  \1: \2/p' assets/texts.txt)

Watching ($1)
$("$bin/demo" --help | sed 's/^/  /')

Requirements
$2
TEXT
}

if want linux; then
    echo "== Linux archive"
    dir="$stage/demo110-linux-x86_64"
    mkdir -p "$dir"
    strip -o "$dir/demo" "$bin/demo"
    cp -r "$bin/data" "$dir/data"
    # The Debian packages that hold the shared libraries the program links (apt brings what
    # those need in turn).
    packages=$(objdump -p "$bin/demo" | awk '/NEEDED/ { print $2 }' | while read -r lib; do
        path=$(ldd "$bin/demo" | awk -v l="$lib" '$1 == l { print $3 }')
        dpkg -S "$(readlink -f "$path")" 2>/dev/null || dpkg -S "$path"
    done | cut -d: -f1 | sort -u | tr '\n' ' ' | sed 's/ $//')
    [ -n "$packages" ] || { echo "package: cannot tell which packages the program needs" >&2; exit 1; }
    info "Linux: ./demo in this folder" "  Debian 12 (bookworm) on x86-64, or a system with the same libraries:
  apt-get install $packages
  Without a window system run ./demo --headless; without a sound device the show is silent." \
        >"$dir/demo110.txt"
    tar -C "$stage" -czf "$dist/demo110-linux-x86_64.tar.gz" demo110-linux-x86_64
    echo "$dist/demo110-linux-x86_64.tar.gz"
fi

if want windows; then
    echo "== Windows zip"
    scripts/windows-deps.sh >/dev/null
    cmake --preset windows >/dev/null
    cmake --build --preset windows --target demo
    dir="$stage/demo110-windows"
    mkdir -p "$dir"
    x86_64-w64-mingw32-strip -o "$dir/demo.exe" build/windows/bin/demo.exe
    cp -r "$bin/data" "$dir/data"
    info "Windows: double-click demo.exe" "  Windows 7 or later, 64-bit, with Direct3D 9 (part of Windows). Nothing to install:
  keep demo.exe and the data folder together." | sed 's/$/\r/' >"$dir/demo110.txt"
    (cd "$dir" && rm -f "$dist/demo110-windows.zip" && zip -qr "$dist/demo110-windows.zip" .)
    echo "$dist/demo110-windows.zip"
fi

if want web; then
    if [ -x scripts/web.sh ]; then
        echo "== web page"
        scripts/web.sh build
        (cd build/web/site && rm -f "$dist/demo110-web.zip" && zip -qr "$dist/demo110-web.zip" .)
        echo "$dist/demo110-web.zip"
    else
        echo "== web page: no browser build in this tree, skipped"
    fi
fi

if want video; then
    echo "== 1080p video"
    scripts/setup.sh ffmpeg
    "$bin/capture" --video "$dist/demo110-1080p.mp4" --size 1920x1080
    echo "$dist/demo110-1080p.mp4"
fi
