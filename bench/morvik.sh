#!/usr/bin/env bash
# Times a whole MORVIK run on a sparse 1 GiB paged controller dump with 200
# processes, 32 consoles, 500 pipes, 2,000 open files, a full SVC trace and a
# heap of 100,000 blocks in 64 segments next to reading the dump with cat, in
# the same run, and the same MORVIK run on a 16 MiB dump of the same content:
# MORVIK reads only what the report needs, so its cost should not grow with
# the dump's size. The controller heap is walked with "/dh" only, so both runs
# are timed with and without it, and the read calls MORVIK makes on the dump
# are counted (with strace, when it is there). A dump of the same content with
# 5,000 processes shows how the cost grows with the process list.
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
many=$out/morvik-5000
# The content: processes, consoles, pipes, heap blocks, heap segments and
# open files (a changed content needs the dumps made anew).
content=(200 32 500 100000 64 2000)
for d in "$big:1024:200" "$small:16:200" "$many:16:5000"; do
  IFS=: read -r dir mib procs <<<"$d"
  stamp="$procs ${content[*]:1}"
  if [ "$(cat "$dir/content" 2>/dev/null)" != "$stamp" ]; then
    "$build/testkit/vt_make_demo" "$dir" controller "$procs" "$mib" 0 consoles="${content[1]}" pipes="${content[2]}" \
      heap_blocks="${content[3]}" heap_segments="${content[4]}" files="${content[5]}" >/dev/null
    echo "$stamp" >"$dir/content"
  fi
done

source bench/timing.sh
run_morvik() { (cd "$1" && "$morvik" omkcslcf.dat omkct8sl.bsx omkcsmll.sym pvncsmll 25 512 SCREEN omkpir1l.bsx ${2:-} </dev/null); }
run_dh() { run_morvik "$1" /dh; }

# Every run must format the whole report; with /dh the heap too.
for d in "$big" "$small" "$many"; do
  for opt in "" /dh; do
    report=$(run_morvik "$d" "$opt" 2>/dev/null)
    parts=("MORVIK is ending normally." "Start of Screens for CON32" "SUB Pipe Dump:" "SUB RS-485 serial driver data:"
      "SUB SVC (Supervisor Call) Trace:" "SUB Open Files and Pipes on this controller:" "SUB File Operations Trace:")
    [ -n "$opt" ] && parts+=("The flist blocks are:" "Total free space= ")
    for part in "${parts[@]}"; do
      grep -qF "$part" <<<"$report" || { echo "MORVIK's report on $d ($opt) lacks \"$part\"" >&2; exit 1; }
    done
  done
done

cat "$big/omkcslcf.dat" >/dev/null
cat_ns=$(best sh -c "cat '$big/omkcslcf.dat' >/dev/null")
big_ns=$(best run_morvik "$big")
small_ns=$(best run_morvik "$small")
bigdh_ns=$(best run_dh "$big")
smalldh_ns=$(best run_dh "$small")
many_ns=$(best run_morvik "$many")
manydh_ns=$(best run_dh "$many")

# Read calls on the dump file (read and pread, as the system call trace names the file).
reads() {
  if ! command -v strace >/dev/null 2>&1; then echo "n/a (no strace)"; return; fi
  local log
  log=$(mktemp)
  (cd "$1" && strace -f -y -e trace=read,pread64,readv,preadv -o "$log" "$morvik" omkcslcf.dat omkct8sl.bsx \
    omkcsmll.sym pvncsmll 25 512 SCREEN omkpir1l.bsx ${2:-} </dev/null >/dev/null 2>&1) || true
  grep -c 'omkcslcf\.dat>' "$log" || true
  rm -f "$log"
}

ms() { awk -v ns="$1" 'BEGIN { printf "%.2f ms", ns / 1e6 }'; }
echo "dumps: $(stat -c %s "$big/omkcslcf.dat") and $(stat -c %s "$small/omkcslcf.dat") bytes, ${content[0]} processes, ${content[1]} consoles, ${content[2]} pipes, ${content[5]} open files, a heap of ${content[3]} blocks in ${content[4]} segments, best of $runs runs"
echo "cat (1 GiB):          $(ms "$cat_ns")"
echo "morvik (1 GiB):       $(ms "$big_ns")  cat/morvik $(ratio "$cat_ns" "$big_ns")"
echo "morvik (16 MiB):      $(ms "$small_ns")  1 GiB/16 MiB $(ratio "$big_ns" "$small_ns")"
echo "morvik /dh (1 GiB):   $(ms "$bigdh_ns")  cat/morvik $(ratio "$cat_ns" "$bigdh_ns")"
echo "morvik /dh (16 MiB):  $(ms "$smalldh_ns")  1 GiB/16 MiB $(ratio "$bigdh_ns" "$smalldh_ns")"
echo "read calls on the dump: $(reads "$big"), with /dh $(reads "$big" /dh)"
echo "5,000 processes (16 MiB): $(ms "$many_ns")  5,000/200 processes $(ratio "$many_ns" "$small_ns"); with /dh $(ms "$manydh_ns")  $(ratio "$manydh_ns" "$smalldh_ns")"
