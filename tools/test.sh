#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine with CTest.
# The tests get a fresh copy of the template prefix, a private Xvfb and one persistent
# wineserver; all three are stopped again when the run ends. Extra arguments go to ctest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

"$root/tools/setup.sh"
echo "build: $build"
mkdir -p "$build"; log=$build/last-build.log
build_start=$(date +%s)
"$root/tools/build.sh" >"$log" 2>&1 || { cat "$log"; exit 1; }
echo "build: done in $(( $(date +%s) - build_start )) s"

source "$root/tools/wine-env.sh"
export WINEPREFIX=$build/wine/prefix
rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
ensure_prefix "$WINEPREFIX"

xvfb_pid=
cleanup() {
  WINEPREFIX=$build/wine/prefix wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" >/dev/null 2>&1 || true
}
trap cleanup EXIT
start_private_xvfb
echo "test: Xvfb on $DISPLAY, Wine prefix $WINEPREFIX"
wineserver -p

cd "$build"
ctest --output-on-failure -j"$(nproc)" "$@"
