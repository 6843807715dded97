#!/usr/bin/env bash
# Installs what is missing, builds, and starts VORTAN4.EXE under Wine in the program's
# own prefix (Windows 98, no Z: drive), on the current display or, when there is none,
# in a private Xvfb. Arguments are passed to the program. Returns when it closes.
#
# tools/run.sh --demo instead tracks a sample install in disk contents mode, in a prefix
# of its own (made afresh each time) and a private Xvfb, and prints the text report.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

"$root/tools/setup.sh"
"$root/tools/build.sh" >/dev/null

source "$root/tools/wine-env.sh"
xvfb_pid=
stop_all() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" >/dev/null 2>&1 || true
}

if [ "${1:-}" = --demo ]; then
  export WINEPREFIX=$build/wine/demo-prefix
  [ -d "$WINEPREFIX" ] && { wineserver -k >/dev/null 2>&1 || true; }
  rm -rf "$WINEPREFIX"
  ensure_prefix "$WINEPREFIX"
  kit=$WINEPREFIX/drive_c/demo-kit
  mkdir -p "$kit"
  cp "$build/bin/VORTAN4.EXE" "$build/bin/VORTTRAP.VXD" "$build/demo/demo_session.exe" \
    "$build/demo/samplesetup.exe" "$kit/"
  trap stop_all EXIT
  start_private_xvfb
  echo "demo: Wine prefix $WINEPREFIX, private Xvfb on $DISPLAY"
  (cd "$kit" && wine 'C:\demo-kit\demo_session.exe')
  echo "demo: both forms of the report stay in $WINEPREFIX/drive_c/demo/Vortan4"
  exit 0
fi

export WINEPREFIX=${VORTAN4_PREFIX:-${XDG_DATA_HOME:-$HOME/.local/share}/vortan4/prefix}
new_prefix=0
[ -d "$WINEPREFIX/drive_c" ] || new_prefix=1
ensure_prefix "$WINEPREFIX"
[ "$new_prefix" = 1 ] && set_windows_version VORTAN4.EXE win98

install_dir="$WINEPREFIX/drive_c/Vortan4"
mkdir -p "$install_dir"
cp "$build/bin/VORTAN4.EXE" "$build/bin/VORTTRAP.VXD" "$build/bin/VORTAN4.HLP" "$install_dir/"

trap stop_all EXIT
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "run: VORTAN4.EXE on display $DISPLAY (Wine prefix $WINEPREFIX)"
else
  start_private_xvfb
  echo "run: no display here; VORTAN4.EXE runs in a private Xvfb on $DISPLAY (Wine prefix $WINEPREFIX)"
fi
cd "$install_dir"
wine 'C:\Vortan4\VORTAN4.EXE' "$@"
