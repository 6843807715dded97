#pragma once
// Folder searches for the disk walks: the entries of one folder, in the order in which
// the file system gives them.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/owners.h"

namespace platform {

struct FolderEntry {
  std::string name;  // long name, in the code page of the file functions
  DWORD attributes = 0;
  FILETIME creationTime{};
  FILETIME lastWriteTime{};
  uint32_t sizeLow = 0;

  bool IsFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
};

// What an entry's creation time holds.
enum class CreationTime {
  AsReported,
  // Under Wine the creation time is only a copy of the last-write time, so a file copied
  // or extracted with its original old times would look old. There the entry's change
  // time stands in for it: it is the moment the file was written or its times were set.
  ChangeTimeOnWine,
};

// Searches folder\*.* with every kind of entry (hidden, system, read-only, folders),
// volume labels left out, "." and ".." included where the file system gives them. A
// folder that cannot be searched simply has no entries.
class FolderSearch {
 public:
  // The folder without a trailing backslash: a drive root is "c:".
  explicit FolderSearch(const std::string& folder,
                        CreationTime creation = CreationTime::AsReported);
  FolderSearch(const FolderSearch&) = delete;
  FolderSearch& operator=(const FolderSearch&) = delete;

  // The next entry; false once there are none left.
  bool Next(FolderEntry& entry);

 private:
  bool NextFound(FolderEntry& entry);
  bool NextQueried(FolderEntry& entry);
  bool Query(bool restart);

  FindHandle find_;
  WIN32_FIND_DATAA found_;
  bool havePending_ = false;

  FileHandle folder_;  // the folder itself, for the directory query
  std::vector<char> buffer_;
  size_t offset_ = 0;
  size_t filled_ = 0;
  bool bufferHasEntries_ = false;
};

// The search entry of exactly this path (a file or a folder); false when there is none.
bool FindEntry(const std::string& path, WIN32_FIND_DATAA& found);

// Answers whether this program runs under Wine (ntdll exports wine_get_version).
bool RunningUnderWine();

}  // namespace platform
