#!/usr/bin/env bash
# Runs the test command as a newcomer would: scripts/test.sh inside a fresh Debian 12 root made
# with debootstrap, which holds a clone of this repository and nothing else, so that anything
# the command needs but does not install shows up as a failure.
#   scripts/fresh-root-test.sh [COMMIT]     (default HEAD; uncommitted changes are not taken)
# Needs root (debootstrap, chroot, mounts). Takes as long as the test command itself, plus a
# few minutes to make the root; the root stays in build/fresh-root for a look afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
started=$SECONDS
scripts/setup.sh debootstrap git
commit=$(git rev-parse --verify "${1:-HEAD}^{commit}")

# The same Debian archive apt uses here.
mirror=$(awk '/^URIs:/ && /debian\/?$/ { print $2; exit }' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
[ -n "$mirror" ] || mirror=$(awk '$1 == "deb" && $3 ~ /^bookworm$/ { print $2; exit }' /etc/apt/sources.list 2>/dev/null || true)
[ -n "$mirror" ] || mirror=http://deb.debian.org/debian

# The root and its log live in build/, which a fresh clone does not have yet.
mkdir -p "$repo/build"
fresh="$repo/build/fresh-root"
mounts=(proc sys dev dev/pts dev/shm)
cleanup() {
    local i
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount "$fresh/${mounts[$i]}" 2>/dev/null || true; done
}
trap cleanup EXIT
cleanup
rm -rf "$fresh"
echo "== a fresh Debian 12 root from $mirror"
# The standard variant: what a plain Debian installation has, without a desktop.
debootstrap bookworm "$fresh" "$mirror" >"$repo/build/fresh-root.log" 2>&1 ||
    { tail -20 "$repo/build/fresh-root.log"; exit 1; }
mount -t proc proc "$fresh/proc"
mount -t sysfs sys "$fresh/sys"
mount --bind /dev "$fresh/dev"
mount -t devpts devpts "$fresh/dev/pts"
mount -t tmpfs shm "$fresh/dev/shm"
# The root shares this machine's network: its resolver, and the certificate authorities
# installed here for the site (a proxy that inspects TLS, say), which any machine on this
# network needs for npm's registry.
cp /etc/resolv.conf "$fresh/etc/resolv.conf"
if compgen -G '/usr/local/share/ca-certificates/*.crt' >/dev/null; then
    mkdir -p "$fresh/usr/local/share/ca-certificates"
    cp /usr/local/share/ca-certificates/*.crt "$fresh/usr/local/share/ca-certificates/"
    chroot "$fresh" update-ca-certificates >/dev/null 2>&1 || true
fi
# The Debian archives apt uses here: an installed system has the updates and security suites
# too, which debootstrap leaves out.
rm -f "$fresh/etc/apt/sources.list"
for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list; do
    case "$file" in *demo-deb-src*) continue ;; esac
    [ -f "$file" ] && grep -q '^[^#]*debian' "$file" && cp "$file" "$fresh$file"
done

echo "== a clone of $commit"
git clone -q --no-local "$repo" "$fresh/root/demo110"
git -C "$fresh/root/demo110" checkout -q "$commit"

echo "== scripts/test.sh inside it"
status=0
chroot "$fresh" env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 TERM=dumb \
    bash -c 'cd /root/demo110 && scripts/test.sh' || status=$?
echo "fresh-root-test: scripts/test.sh ended with status $status after $(((SECONDS - started) / 60)) min"
exit "$status"
