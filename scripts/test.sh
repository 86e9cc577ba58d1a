#!/usr/bin/env bash
# Builds everything and runs the whole test suite twice: in the optimised build and under
# AddressSanitizer + UndefinedBehaviorSanitizer. Window tests run on a virtual X server.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

run_suite() {
    local preset=$1
    echo "== $preset build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    echo "== $preset tests"
    xvfb-run -a -s "-screen 0 1920x1080x24" ctest --preset "$preset" -j2
}

run_suite default
run_suite asan
