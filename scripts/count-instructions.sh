#!/usr/bin/env bash
# Instructions spent drawing one frame on one thread, for one row of each scene: callgrind
# counts only inside the frame function (drawFrame: clear, scene, overlays), so start-up and
# writing the file are left out. Unlike frame times these counts do not move with the
# machine's load: the same build and data give the same figures.
#   scripts/count-instructions.sh [ROW...]   default: a row of each scene (below)
# CAPTURE=path/to/capture counts another build of the tool (to compare two versions); it
# reads the data folder of this tree's default build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh valgrind
capture=${CAPTURE:-build/default/bin/capture}
if [ -z "${CAPTURE:-}" ]; then
    cmake --preset default >/dev/null
    cmake --build --preset default --target capture data >/dev/null
fi
# A row of each scene, in show order.
rows=(64.37 192.37 384.37 576.37 768.37 960.37 1088.37 1216.37 1380.37)
declare -A scene=([64.37]=8 [192.37]=2 [384.37]=1 [576.37]=4 [768.37]=3 [960.37]=5
    [1088.37]=6 [1216.37]=7 [1380.37]=10)
if [ "$#" -gt 0 ]; then rows=("$@"); fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '%-9s %5s %12s %14s\n' row scene "frame (M)" "drawFaces (M)"
for row in "${rows[@]}"; do
    valgrind --tool=callgrind --callgrind-out-file="$work/out" --collect-atstart=no \
        --toggle-collect='drawFrame(*' "$capture" --data build/default/bin/data --row "$row" \
        --threads 1 --raw "$work/frame.f32" >"$work/log" 2>&1 || {
        cat "$work/log" >&2
        exit 1
    }
    # Inclusive counts: the whole frame, and of it drawFaces (the faces' projection, lighting,
    # set-up and rasterizing; submission, clipping and sorting come before it).
    callgrind_annotate --inclusive=yes "$work/out" 2>/dev/null | awk -v row="$row" -v scene="${scene[$row]:--}" '
        function millions(s) { gsub(/,/, "", s); return s / 1e6 }
        /PROGRAM TOTALS/ { frame = millions($1) }
        /:drawFaces\(/ && !faces { faces = millions($1) }
        END { printf "%-9s %5s %12.2f %14.2f\n", row, scene, frame, faces }'
done
