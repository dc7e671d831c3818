#!/usr/bin/env bash
# Runs the Linux programs and the Windows ones (under wine) on the same
# testkit inputs, each in a folder of its own, and compares everything they
# leave behind: reports, answers files and modules byte for byte, standard
# output and standard error (CR LF read as LF: a Windows program's standard
# streams are text), and exit statuses. VANTERIK stamps its runs with the
# time; the stamps are set to one fixed time on both sides first.
#
#   same_output.sh HOST_BUILD WINDOWS_BIN WORK EMULATOR...
set -euo pipefail
host=$1 winbin=$2 work=$3
shift 3
emulator=("$@")
make_demo=$host/testkit/vt_make_demo

rm -rf "$work"
mkdir -p "$work"
failed=0

# side NAME PROGRAM ARGS... : the command that runs PROGRAM on that side.
side() {
  local name=$1 prog=$2
  shift 2
  if [ "$name" = linux ]; then
    "$host/$prog/$prog" "$@"
  else
    "${emulator[@]}" "$winbin/$prog.exe" "$@"
  fi
}

# run CASE STEP INPUT PROGRAM ARGS... : one step on both sides.
run() {
  local case=$1 step=$2 input=$3
  shift 3
  local s status
  for s in linux windows; do
    status=0
    (cd "$work/$case/$s" && printf '%s' "$input" | side "$s" "$@" >"../$s.$step.out" 2>"../$s.$step.err") || status=$?
    echo "$status" >"$work/$case/$s.$step.status"
    sed -i 's/\r$//' "$work/$case/$s.$step.out" "$work/$case/$s.$step.err"
  done
}

# The asctime text of the SYM stamp and the packed time of a merged SYM's
# trailer (the bytes after "Vanterik" and the 3-byte size).
fix_stamps() {
  local f
  for f in "$@"; do
    perl -0777 -pi -e 's/[A-Z][a-z]{2} [A-Z][a-z]{2} [ \d]\d \d\d:\d\d:\d\d \d{4}\n/Mon Jan  1 00:00:00 2024\n/g;
                       s/(Vanterik[\s\S]{3})[\s\S]{5}/$1\0\0\0\0\0/g' "$f"
  done
}

# compare CASE : the two folders and the captured streams and statuses.
compare() {
  local case=$1 dir=$work/$1 f name
  for f in "$dir"/linux/* "$dir"/linux.*; do
    name=${f#"$dir"/linux}
    if ! cmp -s "$f" "$dir/windows$name"; then
      echo "DIFFERENT: $case: ${name#[/.]}"
      if grep -qI . "$f"; then
        diff "$f" "$dir/windows$name" | head -20 || true
      else
        cmp -l "$f" "$dir/windows$name" 2>&1 | head -10 || true
      fi
      failed=1
    fi
  done
  for f in "$dir"/windows/*; do
    [ -e "$dir/linux/${f##*/}" ] || { echo "ONLY ON WINDOWS: $case: ${f##*/}"; failed=1; }
  done
  echo "compared: $case"
}

# inputs CASE VARIANT [SIZE_MIB APPL_MIB] : the demo files on both sides.
inputs() {
  local case=$1 s
  shift
  for s in linux windows; do
    mkdir -p "$work/$case/$s"
    "$make_demo" "$work/$case/$s" "$@" >/dev/null
  done
}

# MORVIK on the dump of every variant, to a report file and to the screen.
for v in terminal controller marra el-terminal el-controller; do
  inputs "$v" "$v" 12
  case $v in
    terminal | marra | el-terminal) dump=omkcsltf.dat sym=omkts10l.sym appl=mpostapl ;;
    *) dump=omkcslcf.dat sym=omkcsmll.sym appl=pvncsmll ;;
  esac
  case $v in
    marra) bsx=omkrt1sl.bsx ;;
    terminal | el-terminal) bsx=omkrt8gl.bsx ;;
    *) bsx=omkct8sl.bsx ;;
  esac
  run "$v" report "" morvik "$dump" "$bsx" "$sym" "$appl" 25 512 report.txt
  run "$v" screen "" morvik "$dump" "$bsx" "$sym" "$appl" 25 512 SCREEN
  compare "$v"
done

# A sparse 3.5 GiB terminal dump with the application at 3 GiB.
inputs large terminal 12 3584 3072
run large report "" morvik omkcsltf.dat omkrt8gl.bsx omkts10l.sym mpostapl 25 512 report.txt
compare large

# The demo module through the README's runs: KIVRA, OSTREL, VANTERIK and its
# LDT listing.
inputs module terminal 12
run module kivra $'y\n' kivra T MPOSTAPL.286 DO FU 22 MR
run module ostrel $'y\n' ostrel T MPOSTAPL.286 400
run module vanterik "" vanterik MPOSTAPL.286
run module listing "" vanterik -d MPOSTAPL.286
fix_stamps "$work"/module/*/MPOSTAPL.286 "$work"/module/*/MPOSTAPL.SYM
compare module

# VANTERIK without merging: the stamp ends the module and the SYM file.
inputs unmerged terminal 12
run unmerged vanterik "" vanterik -n MPOSTAPL.286
fix_stamps "$work"/unmerged/*/MPOSTAPL.286 "$work"/unmerged/*/MPOSTAPL.SYM
compare unmerged

if [ "$failed" != 0 ]; then
  echo "The Windows programs' output differs from the Linux programs' (see $work)."
  exit 1
fi
echo "The Windows programs wrote what the Linux programs wrote."
