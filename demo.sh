#!/usr/bin/env bash
# Builds the four tools and the demo maker (Release), writes a demo terminal
# dump, its BSX file, the application's SYM file and the RS-485 driver's BSX
# file into demo/, with the application's linked module MPOSTAPL.286 and its
# MPOSTAPL.SYM, and formats the dump with every answer on the command line:
# the report goes to the screen. (A compiler's warnings do not stop this
# build; the tests build with -Werror.)
set -euo pipefail
cd "$(dirname "$0")"
gen=()
command -v ninja >/dev/null 2>&1 && gen=(-G Ninja)
mkdir -p build-demo
log=build-demo/build.log
if ! { [ -f build-demo/CMakeCache.txt ] || cmake -S . -B build-demo "${gen[@]}" -DCMAKE_BUILD_TYPE=Release -DVT_TESTS=OFF -DVT_WERROR=OFF; } >"$log" 2>&1 ||
   ! cmake --build build-demo --target morvik kivra ostrel vanterik vt_make_demo -j 2 >>"$log" 2>&1; then
  cat "$log" >&2
  echo "demo.sh: the build failed" >&2
  exit 1
fi
rm -rf demo
build-demo/testkit/vt_make_demo demo >/dev/null
cd demo
../build-demo/morvik/morvik omkcsltf.dat omkrt8gl.bsx omkts10l.sym mpostapl 25 512 SCREEN omkpir1l.bsx
