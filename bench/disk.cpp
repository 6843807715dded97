// Disk listing, merge and file-time walk against a bare FindFirstFileA/FindNextFileA walk
// of the same tree: 100,000 files in 5,000 folders, built afresh below C:\bench-disk.
// Each timing is the best of five rounds (disk ROUNDS for another number).
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "engines/disk.h"
#include "engines/filetime.h"

namespace {

const std::string kTree = "C:\\bench-disk";
const std::string kBefore = "C:\\bench-listings\\VORTAN$$.$$1";
const std::string kAfter = "C:\\bench-listings\\VORTAN$$.$$2";
const std::string kScratch = "C:\\bench-listings\\VORTAN$$.$$3";
constexpr int kGroups = 50;             // top folders, each with
constexpr int kSubfolders = 99;         // this many folders below it:
constexpr int kFilesPerFolder = 20;     // 5,000 folders, 100,000 files

double Seconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Time(const std::function<void()>& work) {
  double start = Seconds();
  work();
  return Seconds() - start;
}

void RemoveTree(const std::string& path) {
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

void WriteFile(const std::string& path, size_t size) {
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

// Names of several shapes, so that the search order and the listing order differ.
std::string FileName(int i) {
  static const char* const kShapes[] = {"File_%d.dat", "readme-%d.txt", "Setup %d.ini",
                                        "~tmp%d.tmp",  "a%d.DLL",       "Zeta%d.exe"};
  char name[64];
  std::snprintf(name, sizeof name, kShapes[i % 6], i);
  return name;
}

std::string Folder(int group, int sub) {
  std::string path = kTree + "\\Group " + std::to_string(group);
  return sub < 0 ? path : path + "\\sub-" + std::to_string(sub);
}

void FillFolder(const std::string& folder) {
  CreateDirectoryA(folder.c_str(), nullptr);
  for (int i = 0; i < kFilesPerFolder; ++i) WriteFile(folder + "\\" + FileName(i), i % 4);
}

void BuildTree() {
  RemoveTree(kTree);
  CreateDirectoryA(kTree.c_str(), nullptr);
  for (int group = 0; group < kGroups; ++group) {
    FillFolder(Folder(group, -1));
    for (int sub = 0; sub < kSubfolders; ++sub) FillFolder(Folder(group, sub));
  }
}

// A few thousand differences: new folders with files, new, deleted and rewritten files.
void ChangeTree() {
  for (int group = 0; group < kGroups; ++group) {
    for (int sub = 0; sub < 10; ++sub) {
      std::string folder = Folder(group, sub * 9);
      for (int i = 0; i < 2; ++i) WriteFile(folder + "\\new " + std::to_string(i) + ".bin", 5);
      DeleteFileA((folder + "\\" + FileName(0)).c_str());
      DeleteFileA((folder + "\\" + FileName(1)).c_str());
      WriteFile(folder + "\\" + FileName(10), 7);
      WriteFile(folder + "\\" + FileName(11), 9);
    }
    std::string added = Folder(group, -1) + "\\Added";
    CreateDirectoryA(added.c_str(), nullptr);
    for (int i = 0; i < 2; ++i) WriteFile(added + "\\" + FileName(i), 1);
  }
}

long long entries = 0;

void BareWalk(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*.*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (found.cFileName[0] == '.') continue;
    ++entries;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) BareWalk(folder + "\\" + found.cFileName);
  } while (FindNextFileA(find, &found));
  FindClose(find);
}

void Report(const char* what, double seconds, double count, double walkSeconds) {
  std::printf("%-9s %8.3f s  %10.0f entries/s  %5.2f x walk\n", what, seconds, count / seconds,
              seconds / walkSeconds);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  CreateDirectoryA("C:\\bench-listings", nullptr);
  engines::TrackedList roots;
  engines::AddToTrackedList(roots, kTree);
  engines::ProgressCallback progress = [](const std::string&) {};

  double start = Seconds();
  BuildTree();
  std::printf("tree: %d folders, %d files, built in %.1f s\n", kGroups * (kSubfolders + 1),
              kGroups * (kSubfolders + 1) * kFilesPerFolder, Seconds() - start);

  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  const SIZE_T privateBefore = memory.PagefileUsage;

  BareWalk(kTree);  // once untimed, so that every timing sees the tree as cached
  engines::SnapshotDisks(kBefore, roots, progress);
  FILETIME startTime;
  GetSystemTimeAsFileTime(&startTime);
  Sleep(20);  // the changes lie clearly after the start time
  ChangeTree();
  engines::SnapshotDisks(kAfter, roots, progress);

  // Rounds of all four, so that a spell of load elsewhere on the machine hits them alike.
  double walk = 1e30, snapshot = 1e30, compare = 1e30, filetime = 1e30;
  engines::ResultList added, deleted, changed, newer;
  for (int round = 0; round < runs; ++round) {
    walk = std::min(walk, Time([] {
      entries = 0;
      BareWalk(kTree);
    }));
    snapshot = std::min(snapshot, Time([&] { engines::SnapshotDisks(kScratch, roots, progress); }));
    compare = std::min(compare, Time([&] {
      engines::CompareDiskSnapshots(kBefore, kAfter, added, deleted, changed, progress);
    }));
    filetime = std::min(filetime, Time([&] {
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
