#!/usr/bin/env bash
# Fuzzes the demo's file readers with libFuzzer under AddressSanitizer + UndefinedBehaviorSanitizer:
#   scripts/fuzz.sh [SECONDS] [READER...]
# runs each of fuzz_track (track files), fuzz_mesh (mesh text) and fuzz_png (PNG bytes), or the
# readers named (track, mesh, png), for SECONDS each (default 60), one after another. Seeds:
# tests/fuzz/corpus, tests/fuzz/regressions, the generated data directory (of the native build,
# made if needed: the generator writes the same bytes in any build) and tests/data/pngsuite;
# what a run learns is kept in build/fuzz/corpus/<reader> for the next run. Fails when any
# target stops on an input (crash, memory error, undefined behaviour, broken promise, leak,
# hang or runaway memory); the input is left in build/fuzz/findings/<reader>/ and belongs in
# tests/fuzz/regressions/<reader>/ once the reader is mended.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
[ "$#" -gt 0 ] && shift
readers=("$@")
[ "${#readers[@]}" -gt 0 ] || readers=(track mesh png)
case "$seconds" in '' | *[!0-9]*) echo "usage: $0 [SECONDS] [track|mesh|png...]" >&2; exit 2 ;; esac
for reader in "${readers[@]}"; do
    case "$reader" in
        track | mesh | png) ;;
        *) echo "unknown reader '$reader' (track, mesh or png)" >&2; exit 2 ;;
    esac
done

scripts/setup.sh clang libclang-rt-14-dev
cmake --preset fuzz >/dev/null
# Only the fuzz programs: nothing else of the tree is fuzzed.
cmake --build --preset fuzz --target $(printf 'fuzz_%s ' "${readers[@]}")
[ -f build/default/build.ninja ] || cmake --preset default >/dev/null
cmake --build --preset default --target data >/dev/null

build=build/fuzz
data=build/default/bin/data
pngsuite=tests/data/pngsuite

failed=()
for reader in "${readers[@]}"; do
    case "$reader" in
        track) extensions=(track); max_len=4096; dict=() ;;
        mesh) extensions=(fobj obj); max_len=16384; dict=(-dict=tests/fuzz/mesh.dict) ;;
        png) extensions=(png); max_len=65536; dict=(-dict=tests/fuzz/png.dict) ;;
        *) echo "unknown reader '$reader' (track, mesh or png)" >&2; exit 2 ;;
    esac
    corpus=$build/corpus/$reader
    seeds=$build/seeds/$reader
    findings=$build/findings/$reader
    rm -rf "$seeds"
    mkdir -p "$corpus" "$seeds" "$findings"
    for extension in "${extensions[@]}"; do
        for file in "$data"/*."$extension"; do [ -f "$file" ] && cp "$file" "$seeds/"; done
        if [ "$reader" = png ]; then
            for file in "$pngsuite"/*."$extension"; do [ -f "$file" ] && cp "$file" "$seeds/"; done
        fi
    done
    # The first folder takes what the run learns; the others only seed it.
    folders=("$corpus")
    for folder in tests/fuzz/corpus/"$reader" tests/fuzz/regressions/"$reader" "$seeds"; do
        [ -d "$folder" ] && folders+=("$folder")
    done
    echo "== fuzz_$reader for ${seconds}s"
    status=0
    "$build/bin/fuzz_$reader" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" "${dict[@]}" \
        "${folders[@]}" 2>"$build/fuzz_$reader.log" || status=$?
    grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::(number_of_executed_units|average_exec_per_sec)' \
        "$build/fuzz_$reader.log" || true
    if [ "$status" -ne 0 ]; then
        tail -n 60 "$build/fuzz_$reader.log"
        echo "fuzz_$reader stopped on an input (status $status): see $findings/" >&2
        failed+=("$reader")
    fi
done

if [ "${#failed[@]}" -gt 0 ]; then
    echo "fuzzing found problems in: ${failed[*]}" >&2
    exit 1
fi
echo "fuzzing passed: ${readers[*]}, ${seconds}s each"
