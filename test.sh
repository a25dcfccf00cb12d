#!/usr/bin/env bash
# test.sh - builds and passes every test: installs what is missing, runs the
# suite through ctest, then again in a separate build with AddressSanitizer
# and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
./tools/ensure-deps.sh
jobs=$(nproc)

run_suite() {  # build-dir, extra cmake options...
  local dir=$1; shift
  local log="$dir/ctest.log" rc=0
  mkdir -p "$dir"
  if ! { cmake -S . -B "$dir" -DBUILD_TESTING=ON "$@" && cmake --build "$dir" -j"$jobs"; } >"$dir/build.log" 2>&1; then
    cat "$dir/build.log"
    return 1
  fi
  (cd "$dir" && ctest -j"$jobs" --output-on-failure) >"$log" 2>&1 || rc=$?
  if [ $rc -ne 0 ]; then cat "$log"; else grep -E 'tests passed|tests failed' "$log"; fi
  return $rc
}

echo "== tests"
run_suite build
echo "== tests with AddressSanitizer and UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan -DKALU_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
