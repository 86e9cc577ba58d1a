#!/usr/bin/env bash
# Builds the demo (and its data) if needed, then plays it. Options go to the demo
# (for example --window; see build/release/bin/demo --help).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --play
cmake --preset release >/dev/null
cmake --build --preset release --target demo data
exec build/release/bin/demo "$@"
