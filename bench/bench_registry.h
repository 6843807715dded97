#pragma once
// What the registry and session benchmarks share: a subtree of 50,000 keys and 100,000
// values of mixed types under HKEY_LOCAL_MACHINE, made once and kept in the prefix, and
// the bare enumeration that is their baseline.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace bench {

inline const char kTree[] = "Software\\Vortan4Bench";
constexpr int kLeaves = 50000;

// Leaf k lies at Product\Component\Item: 100 x 10 x 50.
inline std::string LeafPath(int k) {
  char path[96];
  std::snprintf(path, sizeof path, "%s\\Product%03d\\Component%02d\\Item%02d", kTree, k / 500,
                k / 50 % 10, k % 50);
  return path;
}

inline void SetValue(HKEY key, const char* name, DWORD type, const std::string& data) {
  RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                 static_cast<DWORD>(data.size()));
}

// The second value of a leaf: numbers, short and folded binary, strings short and long.
inline void SetMixedValue(HKEY key, int k) {
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

inline void MakeTree() {
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

struct Counts {
  long keys = 0;
  long values = 0;
};

// The baseline: every key opened, every name enumerated, every value's data read.
inline void Enumerate(HKEY parent, const char* name, Counts& counts, std::vector<char>& names,
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

// Both roots, as the registry snapshot records them.
inline Counts EnumerateRegistry() {
  Counts counts;
  std::vector<char> names(32768);
  std::vector<BYTE> data(65536);
  Enumerate(HKEY_USERS, "", counts, names, data);
  Enumerate(HKEY_LOCAL_MACHINE, "", counts, names, data);
  return counts;
}

}  // namespace bench
