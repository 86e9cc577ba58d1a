#!/usr/bin/env bash
# Makes the release files in dist/:
#   demo110-linux-x86_64.tar.gz   demo, data/, demo110.txt and demo110.png: the program needs
#                                 nothing installed beyond the C and C++ runtimes
#   demo110-windows.zip           demo.exe, data/, demo110.txt and demo110.png
#   demo110-web.zip               the page (scripts/web.sh), demo110.txt and demo110.png: it
#                                 plays from a web server or opened from the disk
#   demo110-1080p.mp4             the show as an upload-ready video
# Each package's demo110.txt says what it is, who made it, how to start it, the options its
# program has, what it needs and its files with their sizes; demo110.png is a picture of the
# show drawn by the capture tool.
# Usage: scripts/package.sh [linux] [windows] [web] [video]   (default: all four)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
parts=("$@")
[ "${#parts[@]}" -gt 0 ] || parts=(linux windows web video)
want() { local p; for p in "${parts[@]}"; do [ "$p" = "$1" ] && return 0; done; return 1; }

# The row of the show that demo110.png shows: the title in the ring tunnel.
picture_row=420

scripts/setup.sh zip binutils
# The release build without the edit mode, its libraries linked in (preset "package"): the
# packaged demo needs neither the generator's libraries nor any other beyond the C and C++
# runtimes.
# Configured afresh: a cache from before the static libraries existed would keep the shared ones.
scripts/linux-deps.sh >/dev/null
cmake --fresh --preset package >/dev/null
cmake --build --preset package --target demo capture data
bin=build/package/bin
version=$("$bin/demo" --version | awk '{ print $2 }')
dist="$root/dist"
mkdir -p "$dist"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
"$bin/capture" --row "$picture_row" --png "$stage/demo110.png" 2>/dev/null

# A size in bytes as people read it.
human() {
    awk -v b="$1" 'BEGIN { if (b >= 1048576) printf "%.1f MB", b / 1048576
                           else printf "%d KB", (b + 1023) / 1024 }'
}

# One line of the file list: NAME, its size (a folder's: all it holds) and what it is.
# entry NAME WHAT PATH...
entry() {
    local name=$1 what=$2 bytes
    shift 2
    bytes=$(du -cb "$@" | tail -1 | cut -f1)
    printf '  %-15s %8s  %s\n' "$name" "$(human "$bytes")" "$what"
}

# The lines of the file list that every package has.
common_entries() {
    local dir=$1
    entry data/ "the music, pictures, meshes and sync tracks ($(find "$dir/data" -type f | wc -l) files)" "$dir/data"
    entry demo110.png "a picture of the show, 640 x 480 (sync row $picture_row)" "$dir/demo110.png"
}

# The info file. $1: the platform, $2: how to start it, $3: the options' heading, $4: the
# options, $5: what it needs, $6: the package's folder, $7: its files (entry lines).
info() {
    cat <<TEXT
demo110 $version for $1

A real-time audiovisual demo: 101 seconds of music and pictures, every pixel drawn by its
own software renderer. The show is 640 x 480 and can be drawn at up to 4.5 times that.

Credits
$(sed -n 's/^credits[12] = \(.*\) | \(.*\)$/  \1: \2/p' assets/texts.txt)

Starting it
$2

$3
$4

Requirements
$5

Files ($(human "$(du -sb "$6" | cut -f1)") unpacked)
$7
  demo110.txt               this file
TEXT
}

# The options of the packaged program, as its --help gives them.
program_options() {
    "$bin/demo" --help | sed 's/^/  /'
}

# The keys that move the window rather than the show.
window_keys="  Window keys: Alt+1 original size; Alt+2, Alt+4, Alt+8 zoom; Alt+C centre on the screen."

if want linux; then
    echo "== Linux archive"
    dir="$stage/demo110-linux-x86_64"
    mkdir -p "$dir"
    strip -o "$dir/demo" "$bin/demo"
    cp -r "$bin/data" "$dir/data"
    cp "$stage/demo110.png" "$dir/"
    info "Linux (x86-64)" "  Unpack the archive and start ./demo in its folder, from a terminal or by opening it in a
  file manager. It plays full screen and ends by itself; Escape quits, Alt+Enter switches to a
  window." "Options (./demo --help)" "$(program_options)
$window_keys" "  An x86-64 Linux with glibc 2.35 or later (Ubuntu 22.04, Debian 12 and everything newer or
  built on them) and its desktop: nothing to install. The program carries its own libraries
  and uses the desktop's X11 or Wayland for the picture and its ALSA or PulseAudio for the
  sound. Without a window system, ./demo --headless plays the show without a picture;
  without a sound device the show is silent. Keep demo and the data folder together." "$dir" \
        "$(entry demo "the program" "$dir/demo"; common_entries "$dir")" >"$dir/demo110.txt"
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
    cp "$stage/demo110.png" "$dir/"
    # The Windows program is built from the same options as the packaged Linux one, neither
    # with the edit mode: the same --help.
    info "Windows (64-bit)" "  Unpack the zip and double-click demo.exe. It plays full screen and ends by itself; Escape
  quits, Alt+Enter switches to a window, whose system menu (Alt+Space) offers the original
  size, the zoom sizes that fit the screen, centring and full screen." \
        "Options (demo.exe --help, in a command prompt)" "$(program_options)
$window_keys" "  Windows 7 or later, 64-bit, with Direct3D 9 (part of Windows): nothing to install. Without
  a sound device the show is silent. Keep demo.exe and the data folder together." "$dir" \
        "$(entry demo.exe "the program" "$dir/demo.exe"; common_entries "$dir")" |
        sed 's/$/\r/' >"$dir/demo110.txt"
    (cd "$dir" && rm -f "$dist/demo110-windows.zip" && zip -qr "$dist/demo110-windows.zip" .)
    echo "$dist/demo110-windows.zip"
fi

if want web; then
    echo "== web page"
    scripts/web.sh build
    dir="$stage/demo110-web"
    cp -r build/web/site "$dir"
    cp "$stage/demo110.png" "$dir/"
    info "web browsers" "  Open index.html in a current browser: straight from the disk (double-click it), or put
  every file of this folder into any folder of a static web host and open its address. Once
  it has loaded, click \"Start the show\" (browsers start sound only after a click); \"Full
  screen\" and \"Sharp pixels\" are remembered. The show ends by itself; Escape leaves full
  screen, then ends it." "Options (added to the address, for example index.html?scale=auto)" \
        "  ?scale=S        draw the show at S times 640 x 480 (1 to 4.5 in steps of 0.05, both sides
                  whole multiples of 8); auto: the largest that fits the window or screen
  ?row=R&keys=K   only the frame at sync row R (camera keys K applied first), 640 x 480 at
                  the top-left corner
  ?autoplay       start without the click, where the browser allows sound without one
  ?from=ROW       start the show at that sync row (it ends at row 1480)
  ?bench          measure every frame of the show and print the frame times of each scene
  Keys: Escape leaves full screen, then ends the show; Alt+Enter full screen or window;
  W/S A/D Q/Z move and U/J K/H I/Y turn the free camera; 1 to 5 jump to fixed views." \
        "  A current Firefox, Chrome, Edge or Safari (WebAssembly; Web Audio for the sound, without
  which the show is silent). From a web host it needs no special headers or MIME types." \
        "$dir" "$(entry index.html "the page: open it" "$dir/index.html"
            entry "page.js, .css" "the page's script and style" "$dir/page.js" "$dir/page.css"
            entry "demo.js, .wasm" "the program, in WebAssembly" "$dir/demo.js" "$dir/demo.wasm"
            entry files.js "the list of the files the page loads" "$dir/files.js"
            common_entries "$dir"
            entry embedded/ "demo.wasm and data/ again as scripts, for opening from the disk" \
                "$dir/embedded")" >"$dir/demo110.txt"
    (cd "$dir" && rm -f "$dist/demo110-web.zip" && zip -qr "$dist/demo110-web.zip" .)
    echo "$dist/demo110-web.zip"
fi

if want video; then
    echo "== 1080p video"
    scripts/setup.sh ffmpeg
    "$bin/capture" --video "$dist/demo110-1080p.mp4" --size 1920x1080
    echo "$dist/demo110-1080p.mp4"
fi
