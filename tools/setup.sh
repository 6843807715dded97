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

echo "setup: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "setup: these packages are missing; run this as root to install them" >&2
  exit 1
fi
# wine32 is an i386 package.
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q "${missing[@]}"
