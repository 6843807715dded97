// Registry snapshot and compare on a registry the size of a real machine's: a subtree of
// 50,000 keys and 100,000 values of mixed types under HKEY_LOCAL_MACHINE, made once and
// kept in the prefix. Times, in one run, a bare enumeration of both roots (the baseline),
// SnapshotRegistry, and CompareRegistrySnapshots of two listings that differ by 3,000
// values, and prints the ratios and the peak memory.
#include <windows.h>

#include <psapi.h>  // after windows.h

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_registry.h"
#include "engines/registry.h"

namespace {

using bench::Counts;
using bench::kLeaves;
using bench::kTree;
using bench::LeafPath;
using bench::MakeTree;
using bench::SetMixedValue;
using bench::SetValue;

constexpr int kDifferences = 1000;  // values changed, as many added, as many deleted

// Leaves 0, 50, 100 ... get a changed value, the ones after them a new value, and the
// ones after those lose a value; undo puts them back.
void ApplyDifferences(bool undo) {
  for (int n = 0; n < kDifferences; ++n) {
    int k = n * (kLeaves / kDifferences);
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, LeafPath(k).c_str(), 0, KEY_ALL_ACCESS, &key);
    SetValue(key, "Name", REG_SZ, (undo ? "Item " : "Changed ") + std::to_string(k) + '\0');
    RegCloseKey(key);
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, LeafPath(k + 1).c_str(), 0, KEY_ALL_ACCESS, &key);
    if (undo)
      RegDeleteValueA(key, "Extra");
    else
      SetValue(key, "Extra", REG_SZ, std::string("new\0", 4));
    RegCloseKey(key);
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, LeafPath(k + 2).c_str(), 0, KEY_ALL_ACCESS, &key);
    if (undo)
      SetMixedValue(key, k + 2);
    else
      RegDeleteValueA(key, "Data");
    RegCloseKey(key);
  }
}

template <class Work>
double Seconds(Work work) {
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void PrintRates(const char* what, double seconds, const Counts& counts, double baseline) {
  std::printf("%-12s %8.2f s %10.0f keys/s %10.0f values/s   x%.2f of the enumeration's time\n",
              what, seconds, counts.keys / seconds, counts.values / seconds, seconds / baseline);
}

}  // namespace

int main() {
  MakeTree();
  const std::string folder = "C:\\vortan4-bench\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string base = folder + "REG$$$$$";
  engines::TrackedList ignored;
  engines::ProgressCallback progress = [](const std::string&) {};

  // Other work shares the machine: each time is the best of three rounds, the
  // enumeration and the snapshot taking turns.
  constexpr int kRounds = 3;
  Counts counts;
  double enumeration = 1e9, snapshot = 1e9, compare = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    enumeration =
        std::min(enumeration, Seconds([&] { counts = bench::EnumerateRegistry(); }));
    snapshot = std::min(
        snapshot, Seconds([&] { engines::SnapshotRegistry(base, ".$$1", ignored, progress); }));
  }

  ApplyDifferences(false);
  engines::SnapshotRegistry(base, ".$$2", ignored, progress);
  ApplyDifferences(true);
  engines::ResultList keysAdded, keysDeleted, changed, added, deleted;
  for (int round = 0; round < kRounds; ++round)
    compare = std::min(compare, Seconds([&] {
                         engines::CompareRegistrySnapshots(base + ".$$1", base + ".$$2", keysAdded,
                                                           keysDeleted, changed, added, deleted,
                                                           progress);
                       }));
  DeleteFileA((base + ".$$1").c_str());
  DeleteFileA((base + ".$$2").c_str());
  RemoveDirectoryA(folder.c_str());

  std::printf("registry: %ld keys, %ld values below HKEY_USERS and HKEY_LOCAL_MACHINE\n",
              counts.keys, counts.values);
  std::printf(
      "compare found %zu changed, %zu added, %zu deleted values; %zu keys added, %zu deleted\n",
      changed.size(), added.size(), deleted.size(), keysAdded.size(), keysDeleted.size());
  PrintRates("enumeration", enumeration, counts, enumeration);
  PrintRates("snapshot", snapshot, counts, enumeration);
  PrintRates("compare", compare, counts, enumeration);
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  std::printf("ratio snapshot/enum: %.2f\n", snapshot / enumeration);
  std::printf("ratio compare/enum: %.2f\n", compare / enumeration);
  std::printf("peak memory: %lu MiB\n",
              static_cast<unsigned long>(memory.PeakWorkingSetSize >> 20));
  return 0;
}
