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
"$root/tools/build.sh" --progress

source "$root/tools/wine-env.sh"
export WINEPREFIX=$build/wine/shots-prefix
ensure_prefix "$WINEPREFIX"

begin_wine_session

shots="$WINEPREFIX/drive_c/shots"
rm -rf "$shots"
mkdir -p "$shots" "$out"
stage_files "$shots" "$build/bin/VORTAN4.HLP"
VORTAN4_WINVER=win98 "$root/tools/wine-test" "$WINEPREFIX" "$build/tests/screenshots.exe" 'C:\shots'
for bmp in "$shots"/*.bmp; do
  png="$out/$(basename "$bmp" .bmp).png"
  convert "$bmp" "$png"
  echo "screenshot: $png"
done
