#!/usr/bin/env bash
# The package round trip (CTest's E2ePackageRoundTrip), in two fresh prefixes: the first
# tracks the sample install and makes its package (PackageRoundTrip, stage "record"); here
# makensis builds setup.nsi and wixl builds setup.wxs; the second prefix gets the package
# and tracks its silent install on the same prepared state (stage "replay").
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
  VORTAN4_PACKAGE_STAGE=$2 "$root/tools/wine-test" "$1" "$tests" --gtest_filter='PackageRoundTrip.*'
}

fresh "$first"
run_stage "$first" record
package=$first/drive_c/pkgtest/package
(cd "$package" && makensis -V2 setup.nsi && wixl -o setup.msi setup.wxs)

fresh "$second"
cp -r "$first/drive_c/pkgtest" "$second/drive_c/pkgtest"
run_stage "$second" replay
