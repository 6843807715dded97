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

#include "engines/registry.h"

namespace {

const char kTree[] = "Software\\Vortan4Bench";
constexpr int kLeaves = 50000;
constexpr int kDifferences = 1000;  // values changed, as many added, as many deleted

// Leaf k lies at Product\Component\Item: 100 x 10 x 50.
std::string LeafPath(int k) {
  char path[96];
  std::snprintf(path, sizeof path, "%s\\Product%03d\\Component%02d\\Item%02d", kTree, k / 500,
                k / 50 % 10, k % 50);
  return path;
}

void SetValue(HKEY key, const char* name, DWORD type, const std::string& data) {
  RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                 static_cast<DWORD>(data.size()));
}

// The second value of a leaf: numbers, short and folded binary, strings short and long.
void SetMixedValue(HKEY key, int k) {
  std::string text = "value " + std::to_string(k);
  switch (k % 6) {
    case 0:
      SetValue(key, "Data", REG_DWORD, std::string(reinterpret_cast<char*>(&k), 4));
      break;
    case 1:
      SetValue(key, "Data", REG_BINARY, std::string(12, static_cast<char>(k)));
      break;
    case 2:
      SetValue(key, "Data", REG_BINARY, std::string(40, static_cast<char>(k)));
      break;
    case 3:
      SetValue(key, "Data", REG_EXPAND_SZ, "%SystemRoot%\\" + text + '\0');
      break;
    case 4:
      SetValue(key, "Data", REG_SZ, std::string(300, 'x') + text + '\0');
      break;
    default:
      SetValue(key, "Data", REG_MULTI_SZ, text + '\0' + text + '\0' + '\0');
      break;
  }
}

void MakeTree() {
  HKEY root = nullptr;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTree, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root,
                  nullptr);
  DWORD done = 0, size = sizeof done;
  if (RegQueryValueExA(root, "Complete", nullptr, nullptr, reinterpret_cast<BYTE*>(&done), &size) ==
          ERROR_SUCCESS &&
      done == 1) {
    RegCloseKey(root);
    return;
  }
  std::printf("making %d keys below HKEY_LOCAL_MACHINE\\%s (once)\n", kLeaves, kTree);
  for (int k = 0; k < kLeaves; ++k) {
    HKEY leaf = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, LeafPath(k).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &leaf, nullptr);
    SetValue(leaf, "Name", REG_SZ, "Item " + std::to_string(k) + '\0');
    SetMixedValue(leaf, k);
    RegCloseKey(leaf);
  }
  done = 1;
  SetValue(root, "Complete", REG_DWORD, std::string(reinterpret_cast<char*>(&done), 4));
  RegFlushKey(root);  // have the new tree saved now rather than in the middle of a timing
  RegCloseKey(root);
}

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

struct Counts {
  long keys = 0;
  long values = 0;
};

// The baseline: every key opened, every name enumerated, every value's data read.
void Enumerate(HKEY parent, const char* name, Counts& counts, std::vector<char>& names,
               std::vector<BYTE>& data) {
  HKEY key = nullptr;
  ++counts.keys;
  if (RegOpenKeyExA(parent, name, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  for (DWORD i = 0;; ++i) {
    DWORD length = static_cast<DWORD>(names.size());
    if (RegEnumValueA(key, i, names.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    ++counts.values;
    DWORD size = static_cast<DWORD>(data.size());
    if (RegQueryValueExA(key, names.data(), nullptr, nullptr, data.data(), &size) ==
        ERROR_MORE_DATA) {
      data.resize(size);
      RegQueryValueExA(key, names.data(), nullptr, nullptr, data.data(), &size);
    }
  }
  for (DWORD i = 0;; ++i) {
    DWORD length = static_cast<DWORD>(names.size());
    if (RegEnumKeyExA(key, i, names.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    Enumerate(key, names.data(), counts, names, data);
  }
  RegCloseKey(key);
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
    counts = Counts();
    enumeration = std::min(enumeration, Seconds([&] {
                             std::vector<char> names(32768);
                             std::vector<BYTE> data(65536);
                             Enumerate(HKEY_USERS, "", counts, names, data);
                             Enumerate(HKEY_LOCAL_MACHINE, "", counts, names, data);
                           }));
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
