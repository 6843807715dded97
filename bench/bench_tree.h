#pragma once
// What the disk and report benchmarks share: a timer, the median of per-round figures,
// and a tree of 100,000 files in 5,000 folders built afresh in the prefix, then changed in
// a known number of places.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace bench {

inline double Seconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline double Time(const std::function<void()>& work) {
  double start = Seconds();
  work();
  return Seconds() - start;
}

// Prints "LABEL median 1.18 (min 1.10, max 1.31, 5 rounds)": the median of one figure
// taken in each round, with its spread.
inline void PrintMedian(const char* label, std::vector<double> values) {
  if (values.empty()) return;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  std::printf("%s median %.2f (min %.2f, max %.2f, %zu rounds)\n", label, median, values.front(),
              values.back(), n);
}

inline void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((path + "\\*.*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string full = path + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(full);
      else
        DeleteFileA(full.c_str());
    } while (FindNextFileA(find, &found));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}

inline void WriteBytes(const std::string& path, size_t size) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "cannot create %s\n", path.c_str());
    std::exit(1);
  }
  std::string bytes(size, 'x');
  DWORD written = 0;
  if (size) ::WriteFile(file, bytes.data(), static_cast<DWORD>(size), &written, nullptr);
  CloseHandle(file);
}

// The baseline of the disk timings: every entry below folder (no trailing backslash),
// found with FindFirstFileA/FindNextFileA and counted, nothing more.
inline void BareWalk(const std::string& folder, long long& entries) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*.*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (found.cFileName[0] == '.') continue;
    ++entries;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      BareWalk(folder + "\\" + found.cFileName, entries);
  } while (FindNextFileA(find, &found));
  FindClose(find);
}

// Names of several shapes, so that the search order and the listing order differ.
inline std::string FileName(int i) {
  static const char* const kShapes[] = {"File_%d.dat", "readme-%d.txt", "Setup %d.ini",
                                        "~tmp%d.tmp",  "a%d.DLL",       "Zeta%d.exe"};
  char name[64];
  std::snprintf(name, sizeof name, kShapes[i % 6], i);
  return name;
}

class Tree {
 public:
  static constexpr int kGroups = 50;          // top folders, each with
  static constexpr int kSubfolders = 99;      // this many folders below it:
  static constexpr int kFilesPerFolder = 20;  // 5,000 folders, 100,000 files
  static constexpr int kFolders = kGroups * (kSubfolders + 1);
  static constexpr int kFiles = kFolders * kFilesPerFolder;

  explicit Tree(std::string root) : root_(std::move(root)) {}
  const std::string& Root() const { return root_; }

  // sub -1 is the group's own folder.
  std::string Folder(int group, int sub) const {
    std::string path = root_ + "\\Group " + std::to_string(group);
    return sub < 0 ? path : path + "\\sub-" + std::to_string(sub);
  }

  void Build() const {
    RemoveTree(root_);
    CreateDirectoryA(root_.c_str(), nullptr);
    for (int group = 0; group < kGroups; ++group) {
      Fill(Folder(group, -1));
      for (int sub = 0; sub < kSubfolders; ++sub) Fill(Folder(group, sub));
    }
  }

  // In each group: in `folders` subfolders (every `stride`th) two files new, two
  // deleted and two rewritten; and a new folder "Added" with `addedFiles` files.
  // Answers the number of changed entries.
  int Change(int folders, int stride, int addedFiles) const {
    for (int group = 0; group < kGroups; ++group) {
      for (int sub = 0; sub < folders; ++sub) {
        std::string path = Folder(group, sub * stride);
        for (int i = 0; i < 2; ++i) WriteBytes(path + "\\new " + std::to_string(i) + ".bin", 5);
        DeleteFileA((path + "\\" + FileName(0)).c_str());
        DeleteFileA((path + "\\" + FileName(1)).c_str());
        WriteBytes(path + "\\" + FileName(10), 7);
        WriteBytes(path + "\\" + FileName(11), 9);
      }
      std::string added = Folder(group, -1) + "\\Added";
      CreateDirectoryA(added.c_str(), nullptr);
      for (int i = 0; i < addedFiles; ++i) WriteBytes(added + "\\" + FileName(i), 1);
    }
    return kGroups * (folders * 6 + 1 + addedFiles);
  }

  // Puts back what Change(folders, stride, ...) did (with new times).
  void Undo(int folders, int stride) const {
    for (int group = 0; group < kGroups; ++group) {
      for (int sub = 0; sub < folders; ++sub) {
        std::string path = Folder(group, sub * stride);
        for (int i = 0; i < 2; ++i) DeleteFileA((path + "\\new " + std::to_string(i) + ".bin").c_str());
        for (int i : {0, 1, 10, 11}) WriteBytes(path + "\\" + FileName(i), i % 4);
      }
      RemoveTree(Folder(group, -1) + "\\Added");
    }
  }

 private:
  void Fill(const std::string& path) const {
    CreateDirectoryA(path.c_str(), nullptr);
    for (int i = 0; i < kFilesPerFolder; ++i) WriteBytes(path + "\\" + FileName(i), i % 4);
  }

  std::string root_;
};

}  // namespace bench
