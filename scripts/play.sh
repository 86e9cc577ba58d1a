#!/usr/bin/env bash
# Builds the demo (and its data) if needed, then plays it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target demo data
exec build/default/bin/demo
