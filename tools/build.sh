#!/usr/bin/env bash
# Configures (once) and builds everything into BUILD_DIR (default: build/).
# tools/build.sh --progress says what it is doing and how far it is, a line for each tenth
# done; the compiler's own output then goes to BUILD_DIR/last-build.log and is shown only
# when the build fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
configure=(cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake")
compile=(cmake --build "$build" -j"$(nproc)" -- --no-print-directory)

if [ "${1:-}" != --progress ]; then
  [ -f "$build/CMakeCache.txt" ] || "${configure[@]}" >/dev/null
  exec "${compile[@]}"
fi

mkdir -p "$build"
log=$build/last-build.log
start=$(date +%s)
: >"$log"
if [ ! -f "$build/CMakeCache.txt" ]; then
  minutes=$(( 12 / $(nproc) )); [ "$minutes" -ge 1 ] || minutes=1
  echo "build: the first build of the program, its tests, benchmarks and tools, into $build;"
  echo "build: it takes about $minutes minutes with this machine's $(nproc) processors"
  "${configure[@]}" >>"$log" 2>&1 || { cat "$log"; echo "build: configuring failed" >&2; exit 1; }
fi
# Make prints "[ 42%] Building ..." for each step; only steps that do work are counted,
# so an up-to-date tree prints nothing.
set +e
"${compile[@]}" 2>&1 | tee -a "$log" | awk '
  /^\[ *[0-9]+%\] (Building|Linking|Generating)/ {
    percent = substr($0, 2, index($0, "%") - 2) + 0
    tenth = int(percent / 10) * 10
    if (!started) { print "build: compiling"; started = 1 }
    if (tenth > shown) { print "build: " tenth "% done"; shown = tenth }
    fflush()
  }
  END { exit !started }'
status=("${PIPESTATUS[@]}")
set -e
if [ "${status[0]}" -ne 0 ]; then
  cat "$log" >&2
  echo "build: failed (the whole output is in $log)" >&2
  exit 1
fi
if [ "${status[2]}" -eq 0 ]; then echo "build: done in $(( $(date +%s) - start )) s"; fi
