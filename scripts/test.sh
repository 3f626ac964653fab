#!/usr/bin/env bash
# Builds and runs the whole test suite twice: a normal build, and a clang
# build under AddressSanitizer and UndefinedBehaviorSanitizer that also runs
# the fuzz targets for a fixed number of inputs; then the concurrency tests
# in a clang build under ThreadSanitizer. Any sanitizer finding fails.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${MURV_BUILD_ROOT:-$here/build}
mkdir -p "$out"
# MURV_JOBS (see build.sh) also sets how many tests run at once.
jobs=${MURV_JOBS:-$(nproc)}
# The sanitizers symbolize stacks with it; the suppressions in tests/*.supp
# match function names, so without it every known report would fail.
symbolizer=/usr/lib/llvm-14/bin/llvm-symbolizer
[ -x "$symbolizer" ] || { echo "no $symbolizer: run scripts/setup.sh"; exit 1; }

echo "== normal build"
"$here/scripts/build.sh" "$out/normal"
(cd "$out/normal" && ctest --output-on-failure -j "$jobs" --timeout 300)
if [ -x "$out/normal/bench/murv_bench" ]; then
  echo "== benchmarks, one short run each so they cannot rot"
  "$out/normal/bench/murv_bench" --benchmark_min_time=0.01 >"$out/bench.log" 2>&1 || {
    cat "$out/bench.log"
    exit 1
  }
fi

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
"$here/scripts/build.sh" "$out/asan" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DMURV_SANITIZE=ON -DMURV_FUZZ=ON -DMURV_BENCH=OFF
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1:external_symbolizer_path=$symbolizer
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$here/tests/lsan.supp:print_suppressions=0
(cd "$out/asan" && ctest --output-on-failure -j "$jobs" --timeout 600)

echo "== ThreadSanitizer build, concurrency tests"
# Only the test executables named *_concurrency_tests (and what they link)
# are built; ctest then runs the tests labelled concurrency.
cmake -S "$here" -B "$out/tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DMURV_TSAN=ON -DMURV_BENCH=OFF >"$out/tsan.configure.log" 2>&1 || {
  cat "$out/tsan.configure.log"
  exit 1
}
tsan_targets=$(cmake --build "$out/tsan" --target help | sed -n 's/^\.\.\. \([A-Za-z0-9_]*_concurrency_tests\)$/\1/p')
[ -n "$tsan_targets" ] || { echo "no *_concurrency_tests target"; exit 1; }
# shellcheck disable=SC2086
cmake --build "$out/tsan" -j "$jobs" --target $tsan_targets
export TSAN_OPTIONS="suppressions=$here/tests/tsan.supp halt_on_error=1 second_deadlock_stack=1 external_symbolizer_path=$symbolizer"
(cd "$out/tsan" && ctest --output-on-failure -j "$jobs" --timeout 600 -L concurrency)
