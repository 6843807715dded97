#!/usr/bin/env bash
# Takes a picture of each page of the main window, of each option dialog and of a help
# topic, frame and caption included, as PNG files a person can look at.
# usage: tools/screenshots.sh [OUTPUT_FOLDER]
# (default build/screenshots). Runs in a prefix of its own (Windows 98) and a private Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
out=$(realpath -m "${1:-$build/screenshots}")

"$root/tools/setup.sh"
"$root/tools/build.sh" >/dev/null

source "$root/tools/wine-env.sh"
export WINEPREFIX=$build/wine/shots-prefix
ensure_prefix "$WINEPREFIX"

xvfb_pid=
stop_all() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" >/dev/null 2>&1 || true
}
trap stop_all EXIT
start_private_xvfb

shots="$WINEPREFIX/drive_c/shots"
rm -rf "$shots"
mkdir -p "$shots" "$out"
cp "$build/bin/VORTAN4.HLP" "$shots/"
VORTAN4_WINVER=win98 "$root/tools/wine-test" "$WINEPREFIX" "$build/tests/main_window_shots.exe" 'C:\shots'
VORTAN4_WINVER=win98 "$root/tools/wine-test" "$WINEPREFIX" "$build/tests/dialog_shots.exe" 'C:\shots'
for bmp in "$shots"/*.bmp; do
  png="$out/$(basename "$bmp" .bmp).png"
  convert "$bmp" "$png"
  echo "screenshot: $png"
done
