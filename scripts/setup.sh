#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the demo and the tests need, if any is missing.
#   scripts/setup.sh [--play] [PACKAGE...]
# --play: only what building and watching the demo need (no test frameworks, no virtual
# screen). Further packages named on the command line are installed too.
set -euo pipefail

packages=(
    g++ cmake ninja-build git pkg-config
    libpng-dev zlib1g-dev libsdl2-dev libmpg123-dev libmp3lame-dev
    libfreetype-dev fonts-dejavu-core
)
if [ "${1:-}" = "--play" ]; then
    shift
else
    # ffmpeg: the capture tool's videos are made and checked (ffprobe) by the tests.
    # xdotool: keys sent to the edit mode's window by its end-to-end test.
    packages+=(libgtest-dev libbenchmark-dev xvfb xauth ffmpeg xdotool)
fi
if [ "$#" -gt 0 ]; then packages+=("$@"); fi

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ "${#missing[@]}" -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null; then sudo="sudo"; else
        echo "These packages are missing and installing them needs root: ${missing[*]}" >&2
        exit 1
    fi
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
