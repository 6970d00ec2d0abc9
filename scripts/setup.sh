#!/usr/bin/env bash
# Installs the Debian packages the build needs (only those missing), configures and builds.
# Used by run-demo.sh and run-tests.sh; safe to run again.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# sqlite3-tools (sqldiff), the sqlite3 shell and rsync are only what tests and benchmarks compare with and
# rebuild files with.
packages=(build-essential cmake pkg-config
          qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite
          qt6-multimedia-dev libsqlite3-dev libsodium-dev libicu-dev libgl-dev
          fonts-liberation sqlite3-tools sqlite3 rsync)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  # A fresh machine may have no package lists yet.
  $sudo apt-get install -y --no-install-recommends "${missing[@]}" \
    || { $sudo apt-get update && $sudo apt-get install -y --no-install-recommends "${missing[@]}"; }
fi

cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$top/build" -j"$(nproc)"
