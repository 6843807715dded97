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
"$root/tools/build.sh" --progress
source "$root/tools/wine-env.sh"

# prepare_prefix SETTINGS_FILE: a new prefix for the program, settled, with the program's
# settings file ignoring Wine's own keys of each session.
prepare_prefix() {
  echo "run: making the Wine prefix $WINEPREFIX (about half a minute)"
  ensure_prefix "$WINEPREFIX"
  set_windows_version VORTAN4.EXE win98
  settle_prefix
  write_ignored_keys "$1"
}

if [ "${1:-}" = --demo ]; then
  export WINEPREFIX=$build/wine/demo-prefix
  [ -d "$WINEPREFIX" ] && { wineserver -k >/dev/null 2>&1 || true; }
  rm -rf "$WINEPREFIX"
  kit=$WINEPREFIX/drive_c/demo-kit
  begin_wine_session
  prepare_prefix "$kit/VORTAN4.INI"
  stage_program "$build/bin" "$kit"
  stage_files "$kit" "$build/demo/demo_session.exe" "$build/demo/samplesetup.exe"
  echo "demo: Wine prefix $WINEPREFIX, private Xvfb on $DISPLAY"
  (cd "$kit" && wine 'C:\demo-kit\demo_session.exe')
  echo "demo: both forms of the report stay in $WINEPREFIX/drive_c/demo/Vortan4"
  exit 0
fi

export WINEPREFIX=${VORTAN4_PREFIX:-${XDG_DATA_HOME:-$HOME/.local/share}/vortan4/prefix}
install_dir="$WINEPREFIX/drive_c/Vortan4"
begin_wine_session any
[ -d "$WINEPREFIX/drive_c" ] || prepare_prefix "$install_dir/VORTAN4.INI"
stage_program "$build/bin" "$install_dir"
if [ -n "$xvfb_pid" ]; then
  echo "run: no display here; VORTAN4.EXE runs in a private Xvfb on $DISPLAY (Wine prefix $WINEPREFIX)"
else
  echo "run: VORTAN4.EXE on display $DISPLAY (Wine prefix $WINEPREFIX)"
fi
echo "run: its settings and reports are in $install_dir"
cd "$install_dir"
wine 'C:\Vortan4\VORTAN4.EXE' "$@"
