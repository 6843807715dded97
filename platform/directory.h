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
// folder that cannot be searched simply has no entries. A folder too deep for the ANSI
// calls is searched with the wide ones (IsLongPath).
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
  bool NextFoundWide(FolderEntry& entry);
  bool NextQueried(FolderEntry& entry);
  bool Query(bool restart);

  FindHandle find_;
  WIN32_FIND_DATAA found_;
  WIN32_FIND_DATAW foundWide_;
  bool wide_ = false;
  bool havePending_ = false;

  FileHandle folder_;  // the folder itself, for the directory query
  std::vector<char> buffer_;
  size_t offset_ = 0;
  size_t filled_ = 0;
  bool bufferHasEntries_ = false;
};

// "." or "..", the entries a search gives for the folder itself and its parent. Any other
// name, one that begins with a dot too, is an entry of its own.
inline bool IsSelfOrParent(const std::string& name) { return name == "." || name == ".."; }

// Walks down through links (reparse points): a link to a folder that is already on the
// way down would lead round for ever. The trail keeps the folders that links on the way
// lead to (volume and file index, whatever the path); Windows 95 and 98 have no links.
class LinkTrail {
 public:
  // Whether a walk may enter the folder with these attributes: any plain folder, and a
  // link unless it leads to a folder a link on the way already led to. A link entered
  // joins the trail, and entered says so: the walk calls Leave() when it is done there.
  bool MayEnter(const std::string& path, DWORD attributes, bool& entered);
  void Leave() { trail_.pop_back(); }

 private:
  struct Identity {
    DWORD volume, high, low;
  };
  std::vector<Identity> trail_;
};

// The search entry of exactly this path (a file or a folder); false when there is none.
bool FindEntry(const std::string& path, WIN32_FIND_DATAA& found);

// A path the ANSI file calls cannot take: MAX_PATH characters and more. The NT family's
// wide calls take it whole, up to 32,767 characters, in the form LongPathForm gives
// ("\\?\C:\..." or "\\?\UNC\server\..."); Windows 95 and 98 have no such calls.
bool IsLongPath(const std::string& path);
std::wstring LongPathForm(const std::string& path);
// The path for a wide call: in the long form when it is long, otherwise as it is.
std::wstring WidePath(const std::string& path);
// A name from a wide call in the code page of the ANSI file calls.
std::string AnsiFileName(const WCHAR* name, size_t length);

// Answers whether this program runs under Wine (ntdll exports wine_get_version).
bool RunningUnderWine();

}  // namespace platform
