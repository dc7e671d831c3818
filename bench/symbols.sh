#!/usr/bin/env bash
# Times whole MORVIK runs on the demo terminal dump with large symbol files,
# each beside a reference in the same run, and prints the ratios:
#  - a SYM file of 200,000 symbols (100,000 code labels under 500 CODE
#    entries, 100,000 variables, about 3 MB) beside `LC_ALL=C sort -k2` of
#    it, the everyday way to order a symbol file by name;
#  - the same run with 20,000 symbols: 10 times the symbols should cost no
#    more than 12 times as much;
#  - a CDV file of 200,000 symbols against one of 20,000;
#  - a BSX file of 1,000,000 records (22 MB) against one of 10,000 (220 KB),
#    the kernel's own records at their end (with the 20,000-symbol SYM file).
#   bench/symbols.sh [build-dir]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
gen=()
command -v ninja >/dev/null 2>&1 && gen=(-G Ninja)
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target morvik vt_gen_symbols >/dev/null
morvik=$(cd "$build/morvik" && pwd)/morvik

out=bench/out/symbols
mkdir -p "$out"
big=$out/big
small=$out/small
[ -f "$big/appl.cdv" ] || "$build/bench/vt_gen_symbols" "$big" 200000 1000000
[ -f "$small/appl.cdv" ] || "$build/bench/vt_gen_symbols" "$small" 20000 10000

source bench/timing.sh
# A run with the dump's own BSX file or the one of the other folder.
run() { (cd "$1" && "$morvik" omkcsltf.dat "$2" "$3" mpostapl 25 512 SCREEN); }

for d in "$big" "$small"; do
  for f in appl.sym appl.cdv; do
    run "$d" omkrt8gl.bsx "$f" 2>/dev/null | grep -q "MORVIK is ending normally." ||
      { echo "MORVIK did not finish on $d/$f" >&2; exit 1; }
  done
done

cat "$big"/* >/dev/null
sort_ns=$(best sh -c "LC_ALL=C sort -k2 '$big/appl.sym' >/dev/null")
sym_big=$(best run "$big" ../small/omkrt8gl.bsx appl.sym)
sym_small=$(best run "$small" omkrt8gl.bsx appl.sym)
cdv_big=$(best run "$big" ../small/omkrt8gl.bsx appl.cdv)
cdv_small=$(best run "$small" omkrt8gl.bsx appl.cdv)
bsx_big=$(best run "$small" ../big/omkrt8gl.bsx appl.sym)
bsx_small=$sym_small

ms() { awk -v ns="$1" 'BEGIN { printf "%.1f ms", ns / 1e6 }'; }
echo "SYM $(stat -c %s "$big/appl.sym") and $(stat -c %s "$small/appl.sym") bytes," \
  "CDV $(stat -c %s "$big/appl.cdv") and $(stat -c %s "$small/appl.cdv") bytes," \
  "BSX $(stat -c %s "$big/omkrt8gl.bsx") and $(stat -c %s "$small/omkrt8gl.bsx") bytes; best of $runs runs"
echo "sort -k2 (200,000 symbols):  $(ms "$sort_ns")"
echo "morvik, SYM 200,000:         $(ms "$sym_big")  morvik/sort $(ratio "$sym_big" "$sort_ns")"
echo "morvik, SYM 20,000:          $(ms "$sym_small")  200,000/20,000 $(ratio "$sym_big" "$sym_small")"
echo "morvik, CDV 200,000:         $(ms "$cdv_big")"
echo "morvik, CDV 20,000:          $(ms "$cdv_small")  200,000/20,000 $(ratio "$cdv_big" "$cdv_small")"
echo "morvik, BSX 22 MB:           $(ms "$bsx_big")"
echo "morvik, BSX 220 KB:          $(ms "$bsx_small")  22 MB/220 KB $(ratio "$bsx_big" "$bsx_small")"
