#pragma once
// The workload of the session and report benchmarks: the whole registry with the registry
// benchmark's subtree, a tree of 100,000 files in 5,000 folders below C:\bench-session
// (built once and kept in the prefix), and an install's 6,400 changes to both, which are
// undone again after each use.
#include <windows.h>

#include <cstdio>
#include <string>

#include "bench/bench_registry.h"
#include "bench/bench_tree.h"

namespace bench {

inline const Tree kSessionTree("C:\\bench-session");
inline const char kChangedKey[] = "Software\\Vortan4BenchSession";
constexpr int kChangedKeys = 50;  // each made with two values: 150 of the 6,400 changes
constexpr int kChangedFolders = 20, kStride = 4, kAddedFiles = 4;  // the other 6,250

// The install's changes: 6,250 in the tree and 150 in the registry; answers their number.
inline int ApplyChangeSet() {
  int changes = kSessionTree.Change(kChangedFolders, kStride, kAddedFiles);
  for (int k = 0; k < kChangedKeys; ++k) {
    HKEY key = nullptr;
    const std::string path = std::string(kChangedKey) + "\\Key" + std::to_string(k);
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &key, nullptr);
    SetValue(key, "Name", REG_SZ, "Changed " + std::to_string(k) + '\0');
    SetMixedValue(key, k);
    RegCloseKey(key);
    changes += 3;
  }
  return changes;
}

inline void UndoChangeSet() {
  for (int k = 0; k < kChangedKeys; ++k)
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(kChangedKey) + "\\Key" + std::to_string(k)).c_str());
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kChangedKey);
  kSessionTree.Undo(kChangedFolders, kStride);
}

// The registry subtree and the tree made where missing (building the tree takes minutes),
// the changes of an earlier run undone.
inline void MakeWorkloadReady() {
  MakeTree();
  const double start = Seconds();
  const std::string complete = kSessionTree.Root() + "\\complete";
  if (GetFileAttributesA(complete.c_str()) == INVALID_FILE_ATTRIBUTES) {
    kSessionTree.Build();
    WriteBytes(complete, 0);
  }
  UndoChangeSet();
  std::printf("tree: %d folders, %d files, made ready in %.1f s\n", Tree::kFolders, Tree::kFiles,
              Seconds() - start);
}

}  // namespace bench
