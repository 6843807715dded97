#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine with CTest.
# The tests get a fresh copy of the template prefix, a private Xvfb and one persistent
# wineserver; all three are stopped again when the run ends. Extra arguments go to ctest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

"$root/tools/setup.sh"
echo "build: $build"
"$root/tools/build.sh" --progress

source "$root/tools/wine-env.sh"
export WINEPREFIX=$build/wine/prefix
rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
ensure_prefix "$WINEPREFIX"
# A link that leads back up the tree, for the walks' test of links (Wine cannot make one).
mkdir -p "$WINEPREFIX/drive_c/linktest/a"
echo x >"$WINEPREFIX/drive_c/linktest/a/x"
ln -s .. "$WINEPREFIX/drive_c/linktest/a/back"

begin_wine_session
echo "test: Xvfb on $DISPLAY, Wine prefix $WINEPREFIX"
wineserver -p

cd "$build"
ctest --output-on-failure -j"$(nproc)" "$@"
