#!/usr/bin/env bash
# Builds everything and runs the whole test suite: the optimised build, the same under
# AddressSanitizer + UndefinedBehaviorSanitizer, the Windows build and its release zip under
# Wine, the web page in headless Chromium, the Linux release archive in a fresh Debian 12 root,
# and each file reader's fuzz target for a minute. Window tests run on a virtual X server.
# At the end (also after a failure) it prints how long each stage took.
set -euo pipefail
cd "$(dirname "$0")/.."

# Stage names and their seconds, for the summary.
stage_names=()
stage_times=()
current=""
current_start=0
started=$SECONDS

summary() {
    local status=$?
    [ -n "$current" ] && stage_names+=("$current (failed)") && stage_times+=($((SECONDS - current_start)))
    echo "== time of each stage"
    local i
    for i in "${!stage_names[@]}"; do
        printf '%-44s %3d:%02d\n' "${stage_names[$i]}" $((stage_times[i] / 60)) $((stage_times[i] % 60))
    done
    local total=$((SECONDS - started))
    printf '%-44s %3d:%02d\n' "total" $((total / 60)) $((total % 60))
    exit "$status"
}
trap summary EXIT

# stage NAME COMMAND...: runs the command as one timed stage.
stage() {
    current=$1
    shift
    echo "== $current"
    current_start=$SECONDS
    "$@"
    stage_names+=("$current")
    stage_times+=($((SECONDS - current_start)))
    current=""
}

build_suite() {
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
}

# Four tests at a time on two cores: two of them are the shows played to their end in real
# time, which mostly wait on the clock (tests/CMakeLists.txt starts them first).
test_suite() {
    local preset=$1
    shift
    xvfb-run -a -s "-screen 0 1920x1080x24" ctest --preset "$preset" -j4 "$@"
}

stage "packages" scripts/setup.sh
stage "default build" build_suite default
stage "default tests" test_suite default
stage "asan build" build_suite asan
# The whole show as a 1080p video is the encoder's work more than ours: once is enough.
stage "asan tests" test_suite asan -E capture_whole
stage "Windows build under Wine (and the Windows release zip)" scripts/windows-test.sh
stage "the web page in headless Chromium" scripts/web.sh test
stage "the Linux release archive in a fresh Debian 12 root" scripts/linux-package-test.sh
if [ -x scripts/fuzz.sh ]; then
    stage "fuzzing the file readers" scripts/fuzz.sh 60
fi
