#!/usr/bin/env bash
# Unpacks the Linux archive (scripts/package.sh linux) into a fresh Debian 12 root that holds
# only a minimal system and the packages its info file names, and plays the show there to its
# end, headless. Needs root (debootstrap, chroot).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
started=$(date +%s)
scripts/setup.sh debootstrap binutils
archive="$root/dist/demo110-linux-x86_64.tar.gz"
[ -f "$archive" ] || scripts/package.sh linux

# The player links nothing of the generator: the MP3 encoder and the font library serve the
# data step and the edit mode, and must not become run-time needs of the archive.
unpacked=$(mktemp -d)
tar -C "$unpacked" -xzf "$archive" demo110-linux-x86_64/demo
needed=$(objdump -p "$unpacked/demo110-linux-x86_64/demo" | awk '/NEEDED/ { print $2 }' | tr '\n' ' ')
rm -rf "$unpacked"
echo "== the packaged demo links: $needed"
if forbidden=$(echo "$needed" | grep -oE 'lib(mp3lame|freetype)\.[^ ]*'); then
    echo "FAILED: the packaged demo links" $forbidden "- built with the edit mode?" \
        "(scripts/package.sh linux makes it without)" >&2
    echo "Linux package: 0 passed, 1 failed"
    exit 1
fi

# The same Debian archive apt uses here.
mirror=$(awk '/^URIs:/ && /debian\/?$/ { print $2; exit }' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
[ -n "$mirror" ] || mirror=$(awk '$1 == "deb" && $3 ~ /^bookworm$/ { print $2; exit }' /etc/apt/sources.list 2>/dev/null || true)
[ -n "$mirror" ] || mirror=http://deb.debian.org/debian

chroot_dir="$root/build/linux-root"
cleanup() {
    umount "$chroot_dir/proc" 2>/dev/null || true
    umount "$chroot_dir/dev" 2>/dev/null || true
}
trap cleanup EXIT
cleanup
rm -rf "$chroot_dir"
echo "== a fresh Debian 12 root from $mirror"
debootstrap --variant=minbase bookworm "$chroot_dir" "$mirror" >"$root/build/debootstrap.log" 2>&1 ||
    { tail -20 "$root/build/debootstrap.log"; exit 1; }

mkdir -p "$chroot_dir/opt"
tar -C "$chroot_dir/opt" -xzf "$archive"
packages=$(sed -n 's/^  apt-get install //p' "$chroot_dir/opt/demo110-linux-x86_64/demo110.txt")
[ -n "$packages" ] || { echo "the info file names no packages" >&2; exit 1; }
echo "== installing what demo110.txt names: $packages"
mount -t proc proc "$chroot_dir/proc"
mount --bind /dev "$chroot_dir/dev"
cp /etc/resolv.conf "$chroot_dir/etc/resolv.conf" 2>/dev/null || true
chroot "$chroot_dir" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    --no-install-recommends $packages >/dev/null

echo "== playing the show there"
begin=$(date +%s)
status=0
chroot "$chroot_dir" env -i PATH=/usr/bin:/bin SDL_AUDIODRIVER=dummy \
    timeout 400 /opt/demo110-linux-x86_64/demo --headless || status=$?
elapsed=$(($(date +%s) - begin))
echo "the show ended after $elapsed s with exit status $status"
passed=0 failed=0
if [ "$status" -eq 0 ] && [ "$elapsed" -ge 99 ] && [ "$elapsed" -le 200 ]; then
    passed=1
else
    failed=1
fi
echo "linux-package-test: $(($(date +%s) - started)) s"
echo "Linux package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
