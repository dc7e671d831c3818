#!/usr/bin/env bash
# Builds everything from nothing and runs every test, first in the normal
# build, then again with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
gen=()
command -v ninja >/dev/null 2>&1 && gen=(-G Ninja)
jobs=$(nproc 2>/dev/null || echo 2)

run() {
  local dir=$1; shift
  if [ ! -f "$dir/CMakeCache.txt" ]; then cmake -S . -B "$dir" "${gen[@]}" "$@"; fi
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

run build -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run build-asan -DCMAKE_BUILD_TYPE=Debug -DVT_SANITIZE=ON

# In CI, each fuzz target also runs for a minute on its seeds and corpus.
if [ -n "${CI:-}" ]; then
  fuzz/run 60
fi
