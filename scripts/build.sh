#!/usr/bin/env bash
# Configures (once) and builds incrementally. Usage: scripts/build.sh BUILD_DIR [cmake options…]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1; shift
jobs=$(nproc 2>/dev/null || echo 2)
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
fi
cmake --build "$dir" -j"$jobs"
