#!/usr/bin/env bash
# Times a whole MORVIK run on the demo terminal dump with the 200,000-symbol
# SYM file of the symbol benchmark (100,000 variables listed) and a 64 KiB
# stack, beside `LC_ALL=C sort -k2` of that SYM file in the same run, and
# prints the ratio, the report's size, and the dump file's read calls of a
# debug run with whether any page of the dump was read twice.
#   bench/vars.sh [build-dir]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
gen=()
command -v ninja >/dev/null 2>&1 && gen=(-G Ninja)
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target morvik vt_gen_symbols >/dev/null
morvik=$(cd "$build/morvik" && pwd)/morvik

dir=bench/out/vars
mkdir -p "$dir"
[ -f "$dir/appl.sym" ] || "$build/bench/vt_gen_symbols" "$dir" 200000 10000 0x10000

source bench/timing.sh
run() { (cd "$dir" && "$morvik" omkcsltf.dat omkrt8gl.bsx appl.sym mpostapl 25 512 report.txt "$@"); }

run >/dev/null 2>&1
grep -q "MORVIK is ending normally." "$dir/REPORT.TXT" || { echo "MORVIK did not finish" >&2; exit 1; }
lines=$(wc -l <"$dir/REPORT.TXT")
vars=$(sed -n '/SUB Application Variables:/,/SUB Application Stack:/p' "$dir/REPORT.TXT" | grep -c '^V[0-9]' || true)
stack=$(sed -n '/SUB Application Stack:/,/SUB /p' "$dir/REPORT.TXT" | grep -c '^..(' || true)
reads=$(run /d 2>/dev/null | grep '^dump file reads:' || true)

cat "$dir"/* >/dev/null
sort_ns=$(best sh -c "LC_ALL=C sort -k2 '$dir/appl.sym' >/dev/null")
run_ns=$(best run)

ms() { awk -v ns="$1" 'BEGIN { printf "%.1f ms", ns / 1e6 }'; }
again=$(echo "$reads" | sed -n 's/.*pages read again: \([0-9]*\).*/\1/p')
echo "report: $lines lines, $vars variables listed, $stack stack lines; best of $runs runs"
echo "sort -k2 (200,000 symbols):  $(ms "$sort_ns")"
echo "morvik, whole report:        $(ms "$run_ns")  morvik/sort $(ratio "$run_ns" "$sort_ns")  (target: at most 3)"
echo "${reads:-dump file reads: not reported}"
if [ "${again:-1}" = 0 ]; then echo "no page of the dump was read twice"; else echo "some pages of the dump were read again"; fi
