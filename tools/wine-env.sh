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

# start_private_xvfb: starts Xvfb on a free display, exports DISPLAY, sets xvfb_pid.
start_private_xvfb() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
      xdpyinfo -display ":$n" >/dev/null 2>&1 && { export DISPLAY=":$n"; return 0; }
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$xvfb_pid" 2>/dev/null || true
  done
  echo "could not start Xvfb" >&2
  return 1
}
