#!/usr/bin/env bash
# Installs what building, running and testing need on a Debian machine (run as root).
# Does nothing when everything is already there.
set -euo pipefail

packages=(wine wine32 g++-mingw-w64-i686-posix g++ cmake make googletest
          xvfb x11-utils imagemagick fonts-wine nsis msitools wixl python3)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: these packages are missing: ${missing[*]}; run this as root to install them" >&2
  exit 1
fi
log=/tmp/vortan4-setup.log
echo "setup: installing ${#missing[@]} packages (${missing[*]})"
echo "setup: the first time this downloads and installs about 1 GB: several minutes"
# wine32 is an i386 package.
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
echo "setup: reading the package lists"
apt-get update -q >"$log" 2>&1 || { cat "$log" >&2; echo "setup: apt-get update failed" >&2; exit 1; }
# apt reports its progress on the status descriptor: "dlstatus:...:PERCENT:..." while it
# downloads, "pmstatus:...:PERCENT:..." while it installs. A line for each tenth.
set +e
apt-get install -y -q -o APT::Status-Fd=3 "${missing[@]}" 3>&1 >>"$log" 2>&1 | awk -F: '
  /^(dl|pm)status:/ {
    step = $1 == "dlstatus" ? "downloading" : "installing"
    tenth = int($3 / 10) * 10
    if (step != last || tenth > shown) { print "setup: " step " " tenth "%"; last = step; shown = tenth }
    fflush()
  }'
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ]; then
  cat "$log" >&2
  echo "setup: installing failed (the whole output is in $log)" >&2
  exit 1
fi
echo "setup: done"
