#!/usr/bin/env bash
# Builds the demo, the capture tool and the data into build/release/bin if needed (the README's
# later commands run them from there), then plays the demo. Options go to the demo (for example
# --window; see build/release/bin/demo --help).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --play
cmake --preset release >/dev/null
cmake --build --preset release --target demo capture data
exec build/release/bin/demo "$@"
