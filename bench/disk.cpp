// Disk listing, merge and file-time walk against a bare FindFirstFileA/FindNextFileA walk
// of the same tree: 100,000 files in 5,000 folders, built afresh below C:\bench-disk.
// Each timing is the best of five rounds (disk ROUNDS for another number).
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_tree.h"
#include "engines/disk.h"
#include "engines/filetime.h"

namespace {

const bench::Tree kTree("C:\\bench-disk");
const std::string kBefore = "C:\\bench-listings\\VORTAN$$.$$1";
const std::string kAfter = "C:\\bench-listings\\VORTAN$$.$$2";
const std::string kScratch = "C:\\bench-listings\\VORTAN$$.$$3";

long long entries = 0;

void BareWalk(const std::string& folder) { bench::BareWalk(folder, entries); }

void Report(const char* what, double seconds, double count, double walkSeconds) {
  std::printf("%-9s %8.3f s  %10.0f entries/s  %5.2f x walk\n", what, seconds, count / seconds,
              seconds / walkSeconds);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  CreateDirectoryA("C:\\bench-listings", nullptr);
  engines::TrackedList roots;
  engines::AddToTrackedList(roots, kTree.Root());
  engines::ProgressCallback progress = [](const std::string&) {};

  double start = bench::Seconds();
  kTree.Build();
  std::printf("tree: %d folders, %d files, built in %.1f s\n", bench::Tree::kFolders,
              bench::Tree::kFiles, bench::Seconds() - start);

  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  const SIZE_T privateBefore = memory.PagefileUsage;

  BareWalk(kTree.Root());  // once untimed, so that every timing sees the tree as cached
  engines::SnapshotDisks(kBefore, roots, progress);
  FILETIME startTime;
  GetSystemTimeAsFileTime(&startTime);
  Sleep(20);  // the changes lie clearly after the start time
  kTree.Change(10, 9, 2);
  engines::SnapshotDisks(kAfter, roots, progress);

  // Rounds of all four, so that a spell of load elsewhere on the machine hits them alike.
  double walk = 1e30, snapshot = 1e30, compare = 1e30, filetime = 1e30;
  engines::ResultList added, deleted, changed, newer;
  for (int round = 0; round < runs; ++round) {
    walk = std::min(walk, bench::Time([] {
      entries = 0;
      BareWalk(kTree.Root());
    }));
    snapshot = std::min(snapshot, bench::Time([&] { engines::SnapshotDisks(kScratch, roots, progress); }));
    compare = std::min(compare, bench::Time([&] {
      engines::CompareDiskSnapshots(kBefore, kAfter, added, deleted, changed, progress);
    }));
    filetime = std::min(filetime, bench::Time([&] {
      newer.clear();
      engines::FindNewerFiles(newer, engines::FileTimeValue(startTime), roots, progress);
    }));
  }
  const double treeEntries = static_cast<double>(entries);

  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);

  std::printf("entries in the tree: %.0f; compare: %zu added, %zu deleted, %zu changed; "
              "newer: %zu\n", treeEntries, added.size(), deleted.size(), changed.size(),
              newer.size());
  Report("walk", walk, treeEntries, walk);
  Report("snapshot", snapshot, treeEntries, walk);
  Report("compare", compare, treeEntries, walk);
  Report("filetime", filetime, treeEntries, walk);
  std::printf("private memory: %lu KiB before the walks, peak %lu KiB\n",
              static_cast<unsigned long>(privateBefore >> 10),
              static_cast<unsigned long>(memory.PeakPagefileUsage >> 10));
  std::printf("ratio newer/walk: %.2f\n", filetime / walk);
  std::printf("ratio snapshot/walk: %.2f\n", snapshot / walk);
  std::printf("ratio compare/walk: %.2f\n", compare / walk);
  std::printf("ratio filetime/walk: %.2f\n", filetime / walk);
  std::printf("peak memory: %lu MiB\n", static_cast<unsigned long>(memory.PeakWorkingSetSize >> 20));
  return 0;
}
