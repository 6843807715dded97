#pragma once
// The registry listing and its compare.
//
// A listing is ANSI text, one record a line: a level character ("0" plus the depth), a
// kind character and the text. "00" lines are roots (HKEY_USERS, then
// HKEY_LOCAL_MACHINE), kind "0" a subkey, kind "1" a value name ("@" for the default
// value, a name made only of "@" with one "@" more, "@@" for "@": platform/valuenames.h;
// characters below 32 as "."), always followed by its data line one level deeper
// whose kind is 50 plus the recorded type. Within a key its values come first, then its
// subkeys, each followed by its own contents; both are in strictly ascending order of the
// names as written, under the system's case-insensitive, locale-aware comparison, which
// the compare uses too (names it holds equal follow their bytes). Of names that read the
// same once written (control characters replaced) only the first is listed.
#include <windows.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engines/helpers.h"
#include "engines/lists.h"

namespace engines {

// Added to a value's type in a listing when its data is folded into 16 bytes.
inline constexpr int kFoldedType = 16;

// Base name of the registry listings in the temporary folder (".$$1" before, ".$$2" after).
inline constexpr char kRegistryListingBase[] = "REG$$$$$";

// Called when the registry cannot be read, with the listing file's path: the caller
// tells the user (the engine shows no window).
using RegistryErrorNotice = std::function<void(const std::string& listingPath)>;

// The listing's text of a value's data (appended to text), answering the recorded type.
int ListingDataText(DWORD type, const std::string& data, std::string& text);

// Writes basePath + extension (cut to four characters): the listing of HKEY_USERS and
// HKEY_LOCAL_MACHINE, leaving out what lies inside the ignored keys. Stops early, with
// the listing closed, when AbortRequested answers yes. When the registry cannot be read
// where the listing cannot do without it (a root, a shortage of memory), writes an
// "ERROR GETTING ..." line, calls the notice and raises platform::RegistryError.
void SnapshotRegistry(const std::string& basePath, const std::string& extension,
                      const TrackedList& ignoredKeys, const ProgressCallback& progress,
                      const RegistryErrorNotice& notice = nullptr);

// Where a walk starts: a root, and the key below it whose contents are listed ("" for
// the root itself, otherwise beginning with "\"). Keys on the way down get their subkey
// lines only.
struct RegistryStart {
  HKEY root;
  std::string rootName;
  std::string keyPath;
};

// SnapshotRegistry's work, into listingPath, with the starts and the notice given.
void SnapshotRegistryFrom(const std::string& listingPath, const std::vector<RegistryStart>& starts,
                          const TrackedList& ignoredKeys, const ProgressCallback& progress,
                          const RegistryErrorNotice& notice);

// A listing line that cannot be what the snapshot wrote, such as a value name line that
// is not followed by its data line.
class RegistryListingCorrupted : public std::runtime_error {
 public:
  RegistryListingCorrupted(std::string path, unsigned long line)
      : std::runtime_error("Stored Registry data corrupted in " + path + ", line " +
                           std::to_string(line)),
        path_(std::move(path)),
        line_(line) {}
  const std::string& Path() const { return path_; }
  unsigned long Line() const { return line_; }

 private:
  std::string path_;
  unsigned long line_;
};

// Merges the before and after listings in one pass and fills the five lists (cleared
// first). Entries are key paths; value entries carry a RegObject. A value changes when its
// text or its recorded type does; data folded on either side reports as "(changed)" /
// "(data too large)". Raises RegistryListingCorrupted, with the
// lists as far as they were filled.
void CompareRegistrySnapshots(const std::string& beforePath, const std::string& afterPath,
                              ResultList& keysAdded, ResultList& keysDeleted,
                              ResultList& valuesChanged, ResultList& valuesAdded,
                              ResultList& valuesDeleted, const ProgressCallback& progress);

}  // namespace engines
