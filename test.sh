#!/usr/bin/env bash
# Installs what is missing, builds and runs every test. Non-zero on any failure.
#   ./test.sh              the format check and the normal build (build/)
#   ./test.sh --quick      the normal build, the unit tests only (ctest -L unit)
#   ./test.sh --sanitize   the AddressSanitizer + UBSan build (build-asan/)
#   ./test.sh --configs    builds only the core and the executable as Release
#                          (build-release/) and with clang (build-clang/)
#   ./test.sh --all        all three
#   ./test.sh --fuzz       builds the libFuzzer harnesses of fuzz/ with clang
#                          (build-fuzz/) and runs each for PIXLANE_FUZZ_SECONDS
#                          (default 60); fails when one finds an input
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

# Each harness fuzzes from its seeds and regressions in fuzz/corpus/<name>/
# (read only) into build-fuzz/corpus/<name>/, which grows from run to run.
# What it finds (crash-…, timeout-…, oom-…, leak-…) lands in
# build-fuzz/findings/<name>/.
run_fuzzers() {
  local dir=build-fuzz seconds=${PIXLANE_FUZZ_SECONDS:-60}
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPIXLANE_FUZZ=ON \
      -DPIXLANE_BUILD_TESTS=OFF -DPIXLANE_BUILD_BENCH=OFF >/dev/null
  fi
  cmake --build "$dir" -j"$(nproc 2>/dev/null || echo 2)" --target pixlane_fuzzers
  local name found=()
  # name, longest input in bytes, memory limit in MiB (the theme reader's
  # limits keep it far below its figure)
  for spec in gif:65536:2048 ini:16384:2048 list:150000:2048 theme:65536:1024; do
    IFS=: read -r name max_len rss <<<"$spec"
    mkdir -p "$dir/corpus/$name" "$dir/findings/$name"
    echo "== fuzz_$name for ${seconds} s" >&2
    if ! UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
         "$dir/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=20 -rss_limit_mb="$rss" \
           -max_len="$max_len" -print_final_stats=1 -artifact_prefix="$dir/findings/$name/" \
           "$dir/corpus/$name" "fuzz/corpus/$name"; then
      found+=("$name")
    fi
  done
  if [ ${#found[@]} -gt 0 ]; then
    echo "Fuzzing found inputs for: ${found[*]} (in $dir/findings/). Replay one with" >&2
    echo "  $dir/fuzz/fuzz_NAME FILE; once fixed, copy it to fuzz/corpus/NAME/." >&2
    return 1
  fi
}

# Every C++ file of the tree as clang-format writes it (.clang-format); the
# lines that differ are printed.
check_format() {
  if ! git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror; then
    echo "Not formatted as .clang-format says: run clang-format -i on the files above." >&2
    return 1
  fi
}

mode=${1:-normal}
case "$mode" in
  normal) check_format; run_suite build ;;
  --quick) check_format; ctest_only=(-L unit); run_suite build ;;
  --sanitize) ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
                run_suite build-asan -DPIXLANE_SANITIZE=ON -DPIXLANE_BUILD_BENCH=OFF ;;
  --configs) build_configs ;;
  --all) run_suite build
         build_configs
         ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
           run_suite build-asan -DPIXLANE_SANITIZE=ON -DPIXLANE_BUILD_BENCH=OFF ;;
  --fuzz) run_fuzzers ;;
  *) echo "usage: ./test.sh [--quick|--sanitize|--configs|--all|--fuzz]" >&2; exit 2 ;;
esac
