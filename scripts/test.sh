#!/usr/bin/env bash
# Builds everything and runs the whole test suite: the optimised build, the same under
# AddressSanitizer + UndefinedBehaviorSanitizer, the Windows build and its release zip under
# Wine, the web page in headless Chromium, the Linux release archive in a fresh Debian 12 root,
# and each file reader's fuzz target for a minute. Window tests run on a virtual X server.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

run_suite() {
    local preset=$1
    shift
    echo "== $preset build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    echo "== $preset tests"
    xvfb-run -a -s "-screen 0 1920x1080x24" ctest --preset "$preset" -j2 "$@"
}

run_suite default
# The whole show as a 1080p video is the encoder's work more than ours: once is enough.
run_suite asan -E capture_whole

echo "== Windows build under Wine (and the Windows release zip)"
scripts/windows-test.sh

echo "== the web page in headless Chromium"
scripts/web.sh test

echo "== the Linux release archive in a fresh Debian 12 root"
scripts/linux-package-test.sh

if [ -x scripts/fuzz.sh ]; then
    echo "== fuzzing the file readers"
    scripts/fuzz.sh 60
fi
