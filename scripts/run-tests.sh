#!/usr/bin/env bash
# Builds everything (benchmarks included) and runs every test headless.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$top/scripts/setup.sh"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$top/build" --output-on-failure -j"$(nproc)"
