#!/usr/bin/env bash
# Times VANTERIK on a module of seven groups (about 1 MiB) with 100,000 fixups
# needing 1,500 selectors, beside cp of the same module in the same run, and
# prints the ratio. RUNS (default 30) modules are processed, each a fresh copy.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
runs=${RUNS:-30}
gen=()
command -v ninja >/dev/null 2>&1 && gen=(-G Ninja)
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target vanterik vt_gen286 >/dev/null

out=bench/out/vanterik
rm -rf "$out"
mkdir -p "$out"
"$build/bench/vt_gen286" "$out/APP.286" "$out/APP.SYM"
for i in $(seq "$runs"); do
  mkdir "$out/v$i" "$out/c$i"
  cp "$out/APP.286" "$out/APP.SYM" "$out/v$i/"
done
"$build/vanterik/vanterik" "$out/v1/APP.286" >"$out/log" || { cat "$out/log"; exit 1; }
grep -q "File successfully vanteriked" "$out/log"
cp "$out/APP.286" "$out/APP.SYM" "$out/v1/"

now() { date +%s%N; }
t0=$(now)
for i in $(seq "$runs"); do "$build/vanterik/vanterik" "$out/v$i/APP.286" >/dev/null; done
t1=$(now)
for i in $(seq "$runs"); do cp "$out/APP.286" "$out/c$i/APP.286"; done
t2=$(now)

size=$(stat -c %s "$out/APP.286")
v=$(( (t1 - t0) / runs / 1000 ))
c=$(( (t2 - t1) / runs / 1000 ))
echo "module: $size bytes, 100000 fixups, 1500 selectors; $runs runs"
echo "vanterik: ${v} us per run"
echo "cp:       ${c} us per run"
awk -v v="$v" -v c="$c" 'BEGIN { printf "ratio vanterik/cp: %.2f\n", v / c }'
