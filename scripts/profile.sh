#!/usr/bin/env bash
# Where a stretch of the show spends its time, on one thread: the capture tool renders it
# without writing anything under perf, and the samples are summed by the renderer's stages.
#   scripts/profile.sh [FROM TO [THREADS]]   default: bars 21 to 28, scene 3, one thread
# CAPTURE=path/to/capture profiles another build of the tool (to compare two versions).
set -euo pipefail
cd "$(dirname "$0")/.."
from=${1:-21:1}
to=${2:-29:1}
threads=${3:-1}
scripts/setup.sh linux-perf
capture=${CAPTURE:-build/default/bin/capture}
if [ -z "${CAPTURE:-}" ]; then
    cmake --preset default >/dev/null
    cmake --build --preset default --target capture data >/dev/null
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
perf record -q -F 4000 -o "$work/perf.data" "$capture" --data build/default/bin/data \
    --render-only --from "$from" --to "$to" --threads "$threads" 2>&1 |
    grep -v '^render:.*left$' || true
perf report -q -i "$work/perf.data" --no-children --sort sym 2>/dev/null |
    awk '
    /%/ {
        share = $1; sub(/%/, "", share);
        name = $0; sub(/^[^]]*\] /, "", name);
        stage = "other";
        if (name ~ /rasterize|drawBlock|fillLit|fillTextured|drawBand|wrapOutside/) stage = "rasterizing";
        else if (name ~ /sortFaces/) stage = "sorting";
        else if (name ~ /plasma|Plasma|__sinf|blendImage|Twister|Banner|resetDepth/) stage = "2D effects";
        else if (name ~ /memset/) stage = "clear";
        else if (name ~ /clip|transform|submit|placeMesh|MeshBounds|projectVertices|lightCorner|drawFaces|prepareItem|build(Ring|Disc)|multiply|Matrix|contextHasRoom|storeVertex|^draw|__sin|__cos|sincos/)
            stage = "projection, clipping, lighting";
        total[stage] += share;
    }
    END {
        order[1] = "rasterizing"; order[2] = "2D effects"; order[3] = "projection, clipping, lighting";
        order[4] = "clear"; order[5] = "sorting"; order[6] = "other";
        for (i = 1; i <= 6; ++i) printf "%-32s %6.1f%%\n", order[i], total[order[i]];
    }'
