#!/usr/bin/env bash
# Installs what is missing, builds and runs every test. Non-zero on any failure.
#   ./test.sh              the normal build (build/)
#   ./test.sh --sanitize   the AddressSanitizer + UBSan build (build-asan/)
#   ./test.sh --all        both
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cd "$here"
"$here/scripts/deps.sh"

run_suite() {
  local dir=$1; shift
  "$here/scripts/build.sh" "$dir" "$@"
  local jobs
  jobs=$(nproc 2>/dev/null || echo 2)
  (cd "$dir" && ctest --output-on-failure -j"$jobs")
}

mode=${1:-normal}
case "$mode" in
  normal) run_suite build ;;
  --sanitize) ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
                run_suite build-asan -DPIXLANE_SANITIZE=ON -DPIXLANE_BUILD_BENCH=OFF ;;
  --all) run_suite build
         ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
           run_suite build-asan -DPIXLANE_SANITIZE=ON -DPIXLANE_BUILD_BENCH=OFF ;;
  *) echo "usage: ./test.sh [--sanitize|--all]" >&2; exit 2 ;;
esac
