# Shared by the tools: Wine settings and the prefixes the project makes for itself.
# Source it; it defines functions only and sets the environment Wine needs.

export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree=}
# Wine takes its locale (and so the ANSI code page and string ordering) from LANG.
export LANG=C.UTF-8 LC_ALL=C.UTF-8

tools_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cache_dir=${VORTAN4_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vortan4}

# A finished, idle prefix that others are copied from: a copy takes about a second,
# a new prefix about twelve. Its name changes whenever Wine or this recipe does.
template_prefix() {
  local key
  key=$( (wine --version; sed -n '/^make_template()/,/^}/p' "$tools_dir/wine-env.sh") | sha1sum | cut -c1-12)
  echo "$cache_dir/wine-template-$key"
}

make_template() {
  local dest=$1 tmp
  mkdir -p "$(dirname "$dest")"
  tmp=$(mktemp -d "$dest.tmp.XXXXXX")
  (
    export WINEPREFIX=$tmp/p
    wineboot -i >/dev/null 2>&1
    # Dialog fonts: Debian's Wine does not look in /usr/share/wine/fonts.
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    # A virtual desktop: without a window manager every visible window costs 2 s.
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
    # The .csv type opens in Notepad, like .txt.
    wine reg add 'HKCR\.csv' /ve /d txtfile /f >/dev/null 2>&1
    # Z: is the Linux root: a walk of every fixed drive would wander through it.
    rm -f "$WINEPREFIX/dosdevices/z:"
    # So would the user's folders (Desktop, Documents, Templates, ...), links to the Linux
    # home: its folders that begin with a dot hold Wine prefixes whose C: leads back round.
    # Plain folders stand in for them, as on Windows.
    find "$WINEPREFIX/drive_c/users" -type l | while read -r link; do
      rm -f "$link" && mkdir "$link"
    done
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
  )
  if [ -d "$dest" ]; then rm -rf "$tmp"; else mv "$tmp/p" "$dest" && rmdir "$tmp"; fi
}

# ensure_prefix DIR: DIR becomes a fresh copy of the template unless it exists.
ensure_prefix() {
  local dir=$1 template
  [ -d "$dir/drive_c" ] && return 0
  template=$(template_prefix)
  mkdir -p "$cache_dir"
  (
    flock 9
    [ -d "$template/drive_c" ] || { echo "wine: making a template prefix in $template (once)" >&2; make_template "$template"; }
  ) 9>"$cache_dir/template.lock"
  mkdir -p "$(dirname "$dir")"
  cp -a "$template" "$dir.tmp.$$" && mv "$dir.tmp.$$" "$dir"
}

# set_windows_version EXE_NAME VERSION: the Windows version that one program sees.
set_windows_version() {
  wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$1" /v Version /d "$2" /f >/dev/null 2>&1
}

# The files that go beside VORTAN4.EXE wherever it runs: the trap driver stand-in, the
# operation capture the driver puts into traced programs, and the help file.
program_files=(VORTAN4.EXE VORTTRAP.VXD VORTCAP.DLL VORTAN4.HLP)

# stage_copy SOURCE DEST_FILE: copied when newer, never seen half-written.
stage_copy() {
  if [ ! -e "$2" ] || [ "$1" -nt "$2" ]; then
    cp "$1" "$2.$$" && mv -f "$2.$$" "$2"
  fi
}

# stage_files DEST FILE...: each file staged into DEST (stage_copy); for a folder, each
# file in it. A name that does not exist is skipped.
stage_files() {
  local dest=$1 file each
  shift
  mkdir -p "$dest"
  for file in "$@"; do
    if [ -d "$file" ]; then
      for each in "$file"/*; do
        if [ -f "$each" ]; then stage_files "$dest" "$each"; fi
      done
    elif [ -f "$file" ]; then
      stage_copy "$file" "$dest/$(basename "$file")"
    fi
  done
}

# stage_program BIN_DIR DEST: the program and its companion files from BIN_DIR into DEST.
stage_program() {
  stage_files "$2" "${program_files[@]/#/$1/}"
}

# A display is free when no X server answers there and neither its lock file nor its
# socket is left.
display_free() {
  local n=$1
  [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ] &&
    ! xdpyinfo -display ":$n" >/dev/null 2>&1
}

# start_private_xvfb: Xvfb on VORTAN4_DISPLAY (":N" or "N") or on the first free display
# from :90; exports DISPLAY, sets xvfb_pid.
start_private_xvfb() {
  local n candidates
  if [ -n "${VORTAN4_DISPLAY:-}" ]; then
    candidates=${VORTAN4_DISPLAY#:}
    display_free "$candidates" || { echo "display :$candidates (VORTAN4_DISPLAY) is in use" >&2; return 1; }
  else
    candidates=$(seq 90 999)
  fi
  for n in $candidates; do
    display_free "$n" || continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
      xdpyinfo -display ":$n" >/dev/null 2>&1 && { export DISPLAY=":$n"; return 0; }
      kill -0 "$xvfb_pid" 2>/dev/null || break  # another took the display first
      sleep 0.1
    done
    kill "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
  done
  echo "could not start Xvfb" >&2
  return 1
}

# begin_wine_session [any]: a private Xvfb for $WINEPREFIX's programs (with "any", the
# current display when one answers), both ended when the script exits: the prefix's
# wineserver, and the Xvfb when one was started.
begin_wine_session() {
  session_prefix=$WINEPREFIX
  xvfb_pid=
  trap end_wine_session EXIT
  if [ "${1:-}" = any ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    return 0
  fi
  start_private_xvfb
}

end_wine_session() {
  WINEPREFIX=$session_prefix wineserver -k >/dev/null 2>&1 || true
  if [ -n "${xvfb_pid:-}" ]; then kill "$xvfb_pid" >/dev/null 2>&1 || true; fi
}

# settle_prefix: runs once, in a new prefix, what makes Wine's first-use changes, so that
# no later session shows them: the first session without Z: takes the Linux system's
# fonts out of the registry and the second puts them back under their Linux paths; the
# first console program makes HKEY_CURRENT_USER\Console.
settle_prefix() {
  (
    cd "$WINEPREFIX/drive_c"
    for _ in 1 2; do
      wine cmd /c exit
      wineserver -w
    done
    wine wineconsole cmd /c exit
    wineserver -w
  ) >/dev/null 2>&1 || true
}

# What Wine changes in every session by itself: the display driver's date and the link
# to its settings, the display driver's key (a new one each session), the services'
# counter, and the sound key of the desktop.
wine_session_keys=(
  'HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Class\{4D36E968-E325-11CE-BFC1-08002BE10318}\0000'
  'HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Video'
  'HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\ServiceCurrent'
  'HKEY_USERS\S-1-5-21-0-0-0-1000\Software\Wine\Temporary System Parameters'
)

# write_ignored_keys SETTINGS_FILE: a new settings file of the program whose ignored
# registry keys are Wine's keys of each session; every other setting keeps its default.
write_ignored_keys() {
  local i
  mkdir -p "$(dirname "$1")"
  {
    printf '[Settings]\r\nRegInitialized=1\r\n[Regs]\r\n'
    for i in "${!wine_session_keys[@]}"; do printf '%s=%s\r\n' "$i" "${wine_session_keys[$i]}"; done
  } >"$1"
}
