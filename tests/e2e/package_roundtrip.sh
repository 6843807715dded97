#!/usr/bin/env bash
# The package round trip (CTest's E2ePackageRoundTrip), in two fresh prefixes: the first
# tracks the sample install and makes its package (PackageRoundTrip, stage "record"); here
# makensis builds setup.nsi and wixl builds setup.wxs; the second prefix gets the package
# and tracks its silent install on the same prepared state (stage "replay"). HostilePackage
# makes and packages names and data that the scripts must escape in the first prefix and
# installs that package in the second.
# usage: package_roundtrip.sh BUILD_DIR E2E_TESTS.exe VORTAN4.EXE
set -euo pipefail
build=$1 tests=$2 vortan=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tools/wine-env.sh"
export VORTAN4_STAGE=$(dirname "$vortan")
first=$build/wine/package-prefix-1 second=$build/wine/package-prefix-2
stop() { for prefix in "$first" "$second"; do WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true; done; }
trap stop EXIT
fresh() {
  WINEPREFIX=$1 wineserver -k >/dev/null 2>&1 || true
  rm -rf "$1" "$1.lock"
  ensure_prefix "$1"
}
run_stage() {
  VORTAN4_PACKAGE_STAGE=$2 "$root/tools/wine-test" "$1" "$tests" \
    --gtest_filter="${VORTAN4_PACKAGE_TESTS:-PackageRoundTrip.*:HostilePackage.*}"
}
# Both sources must build, and wixl must not complain of an element it cannot read.
build_package() {
  local said
  [ -f "$1/setup.nsi" ] || return 0
  (cd "$1" && makensis -V2 setup.nsi)
  said=$(cd "$1" && wixl -o setup.msi setup.wxs 2>&1) || { echo "$said" >&2; return 1; }
  if grep -q CRITICAL <<<"$said"; then echo "$said" >&2; return 1; fi
}

fresh "$first"
run_stage "$first" record
build_package "$first/drive_c/pkgtest/package"
build_package "$first/drive_c/pkghostile/package"

fresh "$second"
[ -d "$first/drive_c/pkgtest" ] && cp -r "$first/drive_c/pkgtest" "$second/drive_c/pkgtest"
mkdir -p "$second/drive_c/pkghostile"
[ -d "$first/drive_c/pkghostile/package" ] && cp -r "$first/drive_c/pkghostile/package" "$second/drive_c/pkghostile/"
run_stage "$second" replay
