#!/usr/bin/env bash
# Times KIVRA and OSTREL on a 64 MiB module whose patch sites lie near its end
# (the operator declines, so the module stays as it is) next to reading the
# module with cat, in the same run, and prints each as a ratio to cat.
#   bench/patchers.sh [build-dir]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=bench/out
mkdir -p "$out"
cmake --build "$build" --target kivra ostrel >/dev/null
${CXX:-c++} -std=c++20 -O2 -I. -o "$out/make_patch_module" \
  bench/make_patch_module.cpp testkit/patchmodule.cpp testkit/tempdir.cpp
module=$out/bench.286
[ -f "$module" ] || "$out/make_patch_module" "$module" 64

source bench/timing.sh

cat "$module" >/dev/null  # into the page cache
cat_ns=$(best sh -c "cat '$module' >/dev/null")
kivra_ns=$(best sh -c "echo n | '$build/kivra/kivra' T '$module' DO")
ostrel_ns=$(best sh -c "echo n | '$build/ostrel/ostrel' T '$module' 400")

# Both tools must have found their site and been turned down.
echo n | "$build/kivra/kivra" T "$module" DO 2>&1 | grep -q "NOT modified" || { echo "KIVRA did not find its site" >&2; exit 1; }
echo n | "$build/ostrel/ostrel" T "$module" 400 2>&1 | grep -q "bailing out" || { echo "OSTREL did not find its site" >&2; exit 1; }

ms() { awk -v ns="$1" 'BEGIN { printf "%.1f ms", ns / 1e6 }'; }
echo "module: $(stat -c %s "$module") bytes, best of $runs runs"
echo "cat:    $(ms "$cat_ns")"
echo "kivra:  $(ms "$kivra_ns")  ratio $(ratio "$kivra_ns" "$cat_ns")"
echo "ostrel: $(ms "$ostrel_ns")  ratio $(ratio "$ostrel_ns" "$cat_ns")"
