#!/usr/bin/env bash
# Installs what is missing, builds and runs every test. Non-zero on any failure.
#   ./test.sh              the normal build (build/)
#   ./test.sh --quick      the normal build, the unit tests only (ctest -L unit)
#   ./test.sh --sanitize   the AddressSanitizer + UBSan build (build-asan/)
#   ./test.sh --configs    builds only the core and the executable as Release
#                          (build-release/) and with clang (build-clang/)
#   ./test.sh --all        all three
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cd "$here"
"$here/scripts/deps.sh"

# The tests run_suite runs: all, or those of a label (-L unit).
ctest_only=()

run_suite() {
  local dir=$1; shift
  "$here/scripts/build.sh" "$dir" "$@"
  local jobs
  jobs=$(nproc 2>/dev/null || echo 2)
  (cd "$dir" && ctest --output-on-failure -j"$jobs" "${ctest_only[@]}")
}

# Configures DIR once with the given options, then builds the core and the
# executable only, so a configuration that stops compiling fails.
build_only() {
  local dir=$1; shift
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S . -B "$dir" -DPIXLANE_BUILD_TESTS=OFF -DPIXLANE_BUILD_BENCH=OFF "$@" >/dev/null
  fi
  cmake --build "$dir" -j"$(nproc 2>/dev/null || echo 2)" --target pixlane_core pixlane
}

build_configs() {
  build_only build-release -DCMAKE_BUILD_TYPE=Release
  CC=clang CXX=clang++ build_only build-clang
}

mode=${1:-normal}
case "$mode" in
  normal) run_suite build ;;
  --quick) ctest_only=(-L unit); run_suite build ;;
  --sanitize) ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
                run_suite build-asan -DPIXLANE_SANITIZE=ON -DPIXLANE_BUILD_BENCH=OFF ;;
  --configs) build_configs ;;
  --all) run_suite build
         build_configs
         ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
           run_suite build-asan -DPIXLANE_SANITIZE=ON -DPIXLANE_BUILD_BENCH=OFF ;;
  *) echo "usage: ./test.sh [--quick|--sanitize|--configs|--all]" >&2; exit 2 ;;
esac
