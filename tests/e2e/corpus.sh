#!/usr/bin/env bash
# Runs the Corpus tests of e2e_tests on the installer corpus (CTest's E2eCorpus).
# usage: corpus.sh CORPUS_DIR BUILD_DIR E2E_TESTS.exe VORTAN4.EXE
# The corpus is built from a copy in the build tree (its own folder may be read-only),
# into a prefix of its own, prepared as its run-set.sh does: D: is the built corpus and
# the files, values and INI lines the installers expect are in place. The truth files go
# to D:\truth, where the tests read them. Without the corpus it says so and exits with 77
# (CTest: skipped).
set -euo pipefail
corpus=$1 build=$2 tests=$3 vortan=$4
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tools/wine-env.sh"
export VORTAN4_STAGE="$vortan;$(dirname "$vortan")/VORTTRAP.VXD;$(dirname "$vortan")/VORTCAP.DLL"

if [ ! -f "$corpus/run-set.sh" ]; then
  echo "no installer corpus: $corpus/run-set.sh is missing"
  exit 77
fi

work=$build/corpus
rm -rf "$work"
mkdir -p "$work"
cp -r "$corpus" "$work/set"
chmod -R u+w "$work/set"
export OUT=$work/out WORK=$work/work
bash "$work/set/run-set.sh" build
mkdir -p "$OUT/truth"
for truth in "$work"/set/*/truth.json; do
  cp "$truth" "$OUT/truth/$(basename "$(dirname "$truth")").json"
done

export WINEPREFIX=$build/wine/corpus-prefix
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# Each mode installs the whole set, so each gets a freshly prepared prefix.
run_in_fresh_prefix() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
  ensure_prefix "$WINEPREFIX"
  # The installers see the Windows version the program sees.
  wine reg add 'HKCU\Software\Wine' /v Version /d win98 /f >/dev/null 2>&1
  bash "$work/set/run-set.sh" prepare
  VORTAN4_CORPUS='D:\truth' "$root/tools/wine-test" "$WINEPREFIX" "$tests" --gtest_filter="$1"
}
status=0
run_in_fresh_prefix '*/Corpus.ReportMatchesTheTruth/*' || status=$?
run_in_fresh_prefix '*/Corpus.RealTimeReportMatchesTheTruth/*' || status=$?
run_in_fresh_prefix '*/Corpus.RealTimeUndoPutsTheMachineBack/*' || status=$?
run_in_fresh_prefix '*/Corpus.RealTimeFromOutsideMatchesTheTruth/*' || status=$?
# The package round trip: each installer tracked and packaged into D:\packages; each
# package built here, then installed in a prefix prepared as the first was.
run_in_fresh_prefix '*/CorpusPackage.TrackedAndPackaged/*' || status=$?
for package in "$OUT"/packages/*/; do
  (cd "$package" && makensis -V2 setup.nsi && wixl -o setup.msi setup.wxs) || status=1
done
run_in_fresh_prefix '*/CorpusPackage.NsisPackageMakesTheSameChanges/*' || status=$?
run_in_fresh_prefix '*/CorpusPackage.WindowsInstallerPackageMakesTheSameFilesAndValues/*' || status=$?
exit $status
