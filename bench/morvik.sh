#!/usr/bin/env bash
# Times a whole MORVIK run on a sparse 1 GiB paged controller dump with 200
# processes, 32 consoles and 500 pipes next to reading the dump with cat, in
# the same run, and the same MORVIK run on a 16 MiB dump of the same content:
# MORVIK reads only what the report needs, so its cost should not grow with
# the dump's size.
#   bench/morvik.sh [build-dir]      (default: build-demo, a Release build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-demo}
out=bench/out
mkdir -p "$out"
if [ ! -f "$build/CMakeCache.txt" ]; then
  gen=()
  command -v ninja >/dev/null 2>&1 && gen=(-G Ninja)
  cmake -S . -B "$build" "${gen[@]}" -DCMAKE_BUILD_TYPE=Release -DVT_TESTS=OFF -DVT_WERROR=OFF >/dev/null
fi
cmake --build "$build" --target morvik vt_make_demo >/dev/null
morvik=$(cd "$build/morvik" && pwd)/morvik

big=$out/morvik-1g
small=$out/morvik-16m
# The content: processes, consoles, pipes (a changed content needs the
# dumps made anew).
content=(200 32 500)
stamp="${content[*]}"
for d in "$big:1024" "$small:16"; do
  dir=${d%:*} mib=${d#*:}
  if [ "$(cat "$dir/content" 2>/dev/null)" != "$stamp" ]; then
    "$build/testkit/vt_make_demo" "$dir" controller "${content[0]}" "$mib" 0 "${content[1]}" "${content[2]}" >/dev/null
    echo "$stamp" >"$dir/content"
  fi
done

source bench/timing.sh
run_morvik() { (cd "$1" && "$morvik" omkcslcf.dat omkct8sl.bsx omkcsmll.sym pvncsmll 25 512 SCREEN omkpir1l.bsx </dev/null); }

# Both runs must format the whole report.
for d in "$big" "$small"; do
  report=$(run_morvik "$d" 2>/dev/null)
  for part in "MORVIK is ending normally." "Start of Screens for CON32" "SUB Pipe Dump:" "SUB RS-485 serial driver data:"; do
    grep -qF "$part" <<<"$report" || { echo "MORVIK's report on $d lacks \"$part\"" >&2; exit 1; }
  done
done

cat "$big/omkcslcf.dat" >/dev/null
cat_ns=$(best sh -c "cat '$big/omkcslcf.dat' >/dev/null")
big_ns=$(best run_morvik "$big")
small_ns=$(best run_morvik "$small")

ms() { awk -v ns="$1" 'BEGIN { printf "%.2f ms", ns / 1e6 }'; }
echo "dumps: $(stat -c %s "$big/omkcslcf.dat") and $(stat -c %s "$small/omkcslcf.dat") bytes, ${content[0]} processes, ${content[1]} consoles, ${content[2]} pipes, best of $runs runs"
echo "cat (1 GiB):     $(ms "$cat_ns")"
echo "morvik (1 GiB):  $(ms "$big_ns")  cat/morvik $(ratio "$cat_ns" "$big_ns")"
echo "morvik (16 MiB): $(ms "$small_ns")  1 GiB/16 MiB $(ratio "$big_ns" "$small_ns")"
