#pragma once
// Shared by the disk and file-time tests.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engines/helpers.h"
#include "engines/lists.h"
#include "platform/owners.h"
#include "support/own_process.h"
#include "support/temp_folder.h"

namespace disk_testing {

// The UTC file time of a local date and time.
inline FILETIME LocalTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
  SYSTEMTIME local{};
  local.wYear = year;
  local.wMonth = month;
  local.wDay = day;
  local.wHour = hour;
  local.wMinute = minute;
  local.wSecond = second;
  FILETIME localTime, utc;
  SystemTimeToFileTime(&local, &localTime);
  LocalFileTimeToFileTime(&localTime, &utc);
  return utc;
}

// Sets the last-write time of a file or a folder.
inline bool SetWriteTime(const std::string& path, const FILETIME& time) {
  platform::FileHandle file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
  return file && SetFileTime(file.get(), nullptr, nullptr, &time);
}

// A temporary folder as the watched list holds it: lower case, no trailing backslash.
inline std::string WatchedRoot(const testing_support::TempFolder& folder) {
  return engines::LowerAscii(engines::WithoutTrailingBackslash(folder.Path()));
}

using Paths = std::vector<std::string>;

// A file name below the folder whose full path is `length` characters: past MAX_PATH, it
// reaches the ANSI file calls no longer.
inline std::string DeepFile(const testing_support::TempFolder& folder, size_t length) {
  std::string deep;
  while (folder.Path().size() + deep.size() < length - 20)
    deep += "level " + std::to_string(deep.size()) + "\\";
  return deep + std::string(length - folder.Path().size() - deep.size(), 'f');
}

inline engines::TrackedList Watch(const Paths& roots) {
  engines::TrackedList list;
  for (const std::string& root : roots) engines::AddToTrackedList(list, root);
  return list;
}

inline Paths Texts(const engines::ResultList& list) {
  Paths texts;
  for (const engines::ListEntry& entry : list) texts.push_back(entry.text);
  return texts;
}

using testing_support::ExitWith;

}  // namespace disk_testing
