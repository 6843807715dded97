#!/usr/bin/env bash
# Installs what is missing, builds, and starts VORTAN4.EXE under Wine in the program's
# own prefix (Windows 98, no Z: drive), on the current display or, when there is none,
# in a private Xvfb. Arguments are passed to the program. Returns when it closes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

"$root/tools/setup.sh"
"$root/tools/build.sh" >/dev/null

source "$root/tools/wine-env.sh"
export WINEPREFIX=${VORTAN4_PREFIX:-${XDG_DATA_HOME:-$HOME/.local/share}/vortan4/prefix}
new_prefix=0
[ -d "$WINEPREFIX/drive_c" ] || new_prefix=1
ensure_prefix "$WINEPREFIX"
[ "$new_prefix" = 1 ] && set_windows_version VORTAN4.EXE win98

install_dir="$WINEPREFIX/drive_c/Vortan4"
mkdir -p "$install_dir"
cp "$build/bin/VORTAN4.EXE" "$install_dir/VORTAN4.EXE"

xvfb_pid=
stop_all() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" >/dev/null 2>&1 || true
}
trap stop_all EXIT
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "run: VORTAN4.EXE on display $DISPLAY (Wine prefix $WINEPREFIX)"
else
  start_private_xvfb
  echo "run: no display here; VORTAN4.EXE runs in a private Xvfb on $DISPLAY (Wine prefix $WINEPREFIX)"
fi
cd "$install_dir"
wine 'C:\Vortan4\VORTAN4.EXE' "$@"
