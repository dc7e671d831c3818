#!/usr/bin/env bash
# The cost of the application call trace: the trace section with a
# 5,200-entry trace against the whole run on the same dump and the
# 200,000-symbol SYM file, timed in one process (the target: the trace
# costs at most 10% of the run).
#   bench/trace.sh [build-dir]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
gen=()
command -v ninja >/dev/null 2>&1 && gen=(-G Ninja)
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target vt_bench_trace >/dev/null
out=bench/out/trace
mkdir -p "$out"
"$build/bench/vt_bench_trace" "$(cd "$out" && pwd)" "${runs:-5}"
