#!/usr/bin/env bash
# Builds the program, makes the demo installation beside it when there is none, and starts it.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$top/scripts/setup.sh"
bin="$top/build/bin"
if [ ! -f "$bin/krv.db" ]; then
  "$bin/krv-demo" "$bin"
fi
exec "$bin/krv" "$@"
