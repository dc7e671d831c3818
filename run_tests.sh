#!/usr/bin/env bash
# Builds everything from nothing and runs every test, first in the normal
# build, then again with AddressSanitizer and UndefinedBehaviorSanitizer.
# Where Debian's mingw-w64 cross compilers are installed it also builds the
# Windows programs (32- and 64-bit) and, with wine, runs the tests under wine
# and compares the programs' output with the Linux programs'.
set -euo pipefail
cd "$(dirname "$0")"
gen=()
command -v ninja >/dev/null 2>&1 && gen=(-G Ninja)
jobs=$(nproc 2>/dev/null || echo 2)

# run DIR [CMAKE ARGS...]; extra ctest arguments in the array retry.
retry=()
run() {
  local dir=$1; shift
  if [ ! -f "$dir/CMakeCache.txt" ]; then cmake -S . -B "$dir" "${gen[@]}" "$@"; fi
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" "${retry[@]}"
}

run build -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run build-asan -DCMAKE_BUILD_TYPE=Debug -DVT_SANITIZE=ON

# Windows: i686 (the workstations the tools have always run on) and x86_64.
if command -v wine >/dev/null 2>&1; then
  export WINEPREFIX=${WINEPREFIX:-$PWD/build-wine}
fi
# Whether wine can start programs of this architecture here: a kernel
# without 32-bit support cannot run wine's 32-bit loader.
wine_runs() {
  local loader=/usr/lib/wine/wine
  [ "$1" = x86_64 ] && loader=/usr/lib/wine/wine64
  command -v wine >/dev/null 2>&1 || return 1
  [ -x "$loader" ] || return 0
  "$loader" --version >/dev/null 2>&1
}
for arch in i686 x86_64; do
  command -v "$arch-w64-mingw32-g++-posix" >/dev/null 2>&1 || continue
  dir=build-win-$arch
  args=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-$arch.cmake -DCMAKE_BUILD_TYPE=Release)
  if wine_runs "$arch"; then
    # wine's server now and then drops a client ("recvmsg: Connection reset
    # by peer"): a test that fails so is run again, up to three times.
    retry=(--repeat until-pass:3)
    run "$dir" "${args[@]}" -DVT_HOST_BUILD="$PWD/build"
    retry=()
  else
    echo "run_tests.sh: no wine that runs $arch programs here, so the $arch Windows build is built, not tested" >&2
    [ -f "$dir/CMakeCache.txt" ] || cmake -S . -B "$dir" "${gen[@]}" "${args[@]}" -DVT_TESTS=OFF
    cmake --build "$dir" -j "$jobs"
  fi
done

# In CI, each fuzz target also runs for a minute on its seeds and corpus.
if [ -n "${CI:-}" ]; then
  fuzz/run 60
fi
