#!/usr/bin/env bash
# The Linux archive (scripts/package.sh linux) as users get it:
#   - its program asks for no glibc symbol newer than 2.35 and links neither the MP3 encoder
#     nor the font library;
#   - in a fresh Debian 12 root with nothing added (debootstrap minbase: the C and C++
#     runtimes), ldd finds every library the program lists, a window is refused with the
#     program's message (no X11 libraries there), and --headless plays the show to its end;
#   - in a copy of that root with a desktop's X11 and ALSA client libraries added, the sound
#     plays through the system's ALSA library (into ALSA's null device), and the show plays to
#     its end in a window on a virtual X server, its sound written to a file by SDL.
# The bare root's show plays meanwhile. Needs root (debootstrap, chroot, mounts).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
started=$(date +%s)
scripts/setup.sh debootstrap binutils xvfb
# The newest glibc symbol version the program may ask for: Ubuntu 22.04's.
newest_glibc=2.35
# What a desktop has that the window and the sound need: X11 and its extensions SDL loads, and
# the ALSA library.
desktop_packages="libx11-6 libxext6 libxcursor1 libxi6 libxfixes3 libxrandr2 libxss1 libasound2"

scripts/package.sh linux
archive="$root/dist/demo110-linux-x86_64.tar.gz"
program=/opt/demo110-linux-x86_64/demo

passed=0 failed=0
result() { # result OK|FAILED WHAT
    if [ "$1" = OK ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
    echo "$1: ${*:2}"
}

unpacked=$(mktemp -d)
tar -C "$unpacked" -xzf "$archive" demo110-linux-x86_64/demo
demo="$unpacked/demo110-linux-x86_64/demo"
# The player links nothing of the generator: the MP3 encoder and the font library serve the
# data step and the edit mode, and must not become run-time needs of the archive.
needed=$(objdump -p "$demo" | awk '/NEEDED/ { print $2 }' | tr '\n' ' ')
echo "== the packaged demo links: $needed"
if forbidden=$(echo "$needed" | grep -oE 'lib(mp3lame|freetype)\.[^ ]*'); then
    result FAILED "the packaged demo links $forbidden - built with the edit mode?"
else
    result OK "no generator library linked"
fi
echo "== glibc symbol versions the packaged demo asks for (count, version):"
objdump -T "$demo" | grep -oE '\(GLIBC_[0-9.]+\)' | tr -d '()' | sort -V | uniq -c
newest=$(objdump -T "$demo" | grep -oE '\(GLIBC_[0-9.]+\)' | tr -d '()' | sed 's/GLIBC_//' |
    sort -V | tail -1)
if [ "$(printf '%s\n%s\n' "$newest" "$newest_glibc" | sort -V | tail -1)" = "$newest_glibc" ]; then
    result OK "newest glibc symbol version GLIBC_$newest (at most $newest_glibc)"
else
    result FAILED "asks for GLIBC_$newest, newer than $newest_glibc:" \
        "$(objdump -T "$demo" | grep -E "GLIBC_$newest" | awk '{ print $NF }' | tr '\n' ' ')"
fi
rm -rf "$unpacked"

# The same Debian archive apt uses here.
mirror=$(awk '/^URIs:/ && /debian\/?$/ { print $2; exit }' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
[ -n "$mirror" ] || mirror=$(awk '$1 == "deb" && $3 ~ /^bookworm$/ { print $2; exit }' /etc/apt/sources.list 2>/dev/null || true)
[ -n "$mirror" ] || mirror=http://deb.debian.org/debian

bare="$root/build/linux-root"
desktop="$root/build/linux-root-desktop"
unmount_roots() {
    local dir
    for dir in "$bare" "$desktop"; do
        umount "$dir/tmp/.X11-unix" 2>/dev/null || true
        umount "$dir/proc" 2>/dev/null || true
        umount "$dir/dev" 2>/dev/null || true
    done
}
unmount_roots
work=$(mktemp -d)
xvfb=""
cleanup() {
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    unmount_roots
    rm -rf "$work"
}
trap cleanup EXIT
rm -rf "$bare" "$desktop"
echo "== a fresh Debian 12 root from $mirror"
debootstrap --variant=minbase bookworm "$bare" "$mirror" >"$root/build/debootstrap.log" 2>&1 ||
    { tail -20 "$root/build/debootstrap.log"; exit 1; }
mkdir -p "$bare/opt"
tar -C "$bare/opt" -xzf "$archive"
cp -a "$bare" "$desktop"

# A virtual X server both roots reach through its socket.
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { cat "$work/xvfb.log"; echo "the virtual X server did not start" >&2; exit 1; }
display=":$(cat "$work/display")"
for dir in "$bare" "$desktop"; do
    mount -t proc proc "$dir/proc"
    mount --bind /dev "$dir/dev"
    mkdir -p "$dir/tmp/.X11-unix"
    mount --bind /tmp/.X11-unix "$dir/tmp/.X11-unix"
done
# run ROOT [VARIABLE=VALUE...] -- ARGUMENTS: the program in the root, with a clean environment.
run() {
    local dir=$1
    shift
    local vars=()
    while [ "$1" != -- ]; do vars+=("$1"); shift; done
    shift
    chroot "$dir" env -i PATH=/usr/bin:/bin "${vars[@]}" timeout 400 "$program" "$@"
}

echo "== in the bare root"
if chroot "$bare" ldd "$program" >"$work/ldd.txt" 2>&1 && ! grep -q "not found" "$work/ldd.txt"; then
    result OK "ldd finds every library: $(awk '{ print $1 }' "$work/ldd.txt" | tr '\n' ' ')"
else
    cat "$work/ldd.txt"
    result FAILED "ldd does not find every library"
fi
status=0
run "$bare" DISPLAY="$display" -- --window >"$work/nowindow.txt" 2>&1 || status=$?
if [ "$status" -eq 1 ] && grep -q "no window can be opened here" "$work/nowindow.txt"; then
    result OK "without X11 libraries a window is refused: $(tail -1 "$work/nowindow.txt")"
else
    cat "$work/nowindow.txt"
    result FAILED "without X11 libraries: exit status $status"
fi

echo "== playing the show in the bare root, headless"
begin=$(date +%s)
(
    status=0
    run "$bare" -- --headless >"$work/headless.txt" 2>&1 || status=$?
    echo "$status $(($(date +%s) - begin))" >"$work/headless.status"
) &
headless=$!

echo "== the desktop root: adding $desktop_packages"
cp /etc/resolv.conf "$desktop/etc/resolv.conf" 2>/dev/null || true
chroot "$desktop" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    --no-install-recommends $desktop_packages >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; exit 1; }
# ALSA's device drops what it is given, as fast as it is given: the show then runs ahead of
# time, so this run only shows that the system's ALSA library is found and plays.
cat >"$desktop/etc/asound.conf" <<'ALSA'
pcm.!default {
    type null
}
ALSA
status=0
run "$desktop" SDL_AUDIODRIVER=alsa -- --headless >"$work/alsa.txt" 2>&1 || status=$?
sed 's/^/  /' "$work/alsa.txt"
if [ "$status" -eq 0 ] && ! grep -q "no audio output" "$work/alsa.txt"; then
    result OK "the sound plays through the system's ALSA library"
else
    result FAILED "through ALSA: exit status $status"
fi
# SDL's file output keeps the music's own pace: the picture follows it as on a sound device.
echo "== playing the show in the desktop root, in a window on $display"
begin_window=$(date +%s)
status=0
run "$desktop" DISPLAY="$display" SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/tmp/sound.raw -- \
    --window >"$work/window.txt" 2>&1 || status=$?
elapsed=$(($(date +%s) - begin_window))
sound="$desktop/tmp/sound.raw"
bytes=$(stat -c %s "$sound" 2>/dev/null || echo 0)
# The show's 1480 rows at 44/3 rows a second, 44100 stereo 16-bit frames a second: 17.8 MB.
expected=$((1480 * 3 * 44100 * 4 / 44))
audible=$(head -c 8000000 "$sound" 2>/dev/null | tr -d '\0' | wc -c)
sed 's/^/  /' "$work/window.txt"
if [ "$status" -eq 0 ] && [ "$elapsed" -ge 99 ] && ! grep -qE "no audio output|cannot open" "$work/window.txt" &&
    [ "$bytes" -ge $((expected * 9 / 10)) ] && [ "$audible" -ge 1000000 ]; then
    result OK "the window opened and the show played to its end in $elapsed s, with $bytes bytes of sound"
else
    result FAILED "in a window: exit status $status after $elapsed s, $bytes bytes of sound" \
        "(about $expected expected), $audible of the first 8 MB not zero"
fi
rm -f "$sound"

wait "$headless" || true
read -r status elapsed <"$work/headless.status"
sed 's/^/  /' "$work/headless.txt"
if [ "$status" -eq 0 ] && [ "$elapsed" -ge 99 ] && [ "$elapsed" -le 200 ]; then
    result OK "headless in the bare root: the show ended after $elapsed s with exit status 0"
else
    result FAILED "headless in the bare root: exit status $status after $elapsed s"
fi

echo "linux-package-test: $(($(date +%s) - started)) s"
echo "Linux package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
