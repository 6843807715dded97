#pragma once
// Disk contents listings: one file with every file and folder below the watched roots,
// and the merge of a before and an after listing into added, deleted and changed paths.
//
// Listing format, one record a line, ANSI, CR LF:
//   "0" root            a watched root exactly as the watched list holds it
//   level stamp name    level is "0" plus the depth below the root ("1" for the root's
//                       children, rising past "9"), stamp four bytes of the last-write
//                       time XOR the size, name the long name
// Every entry but "." and ".." is listed, names that begin with a dot too (listings of
// older versions left those out and still read).
// Entries follow in depth-first pre-order; siblings stand in ascending order under the
// system's case-insensitive, locale-aware comparison (CompareNames), and names that
// compare equal are listed once. A folder is an entry whose next line is deeper.
#include <string>
#include <vector>

#include "engines/helpers.h"
#include "engines/lists.h"
#include "engines/names.h"
#include "platform/textfile.h"

namespace engines {

// Base name of the disk listings in the temporary folder (".$$1" before, ".$$2" after).
inline constexpr char kDiskListingBase[] = "VORTAN$$";

// Writes the listing of every root of the watched list. Stops early, leaving a shorter
// listing, when AbortRequested answers yes; the caller tests the flag afterwards. The
// level character ends at depth 207 (paths of up to 32,767 characters go deeper): the
// folders there that hold anything are appended to notListed, for the report to name.
void SnapshotDisks(const std::string& listingPath, const TrackedList& roots,
                   const ProgressCallback& progress, ResultList* notListed = nullptr);

// One record of a listing, read with the path rebuilt from the levels.
struct ListingRecord {
  std::string path;
  unsigned char level = '0';  // "/" is the end marker
  std::string stamp;          // empty for a root line
};

// Reads a listing one record at a time. A line that cannot be a record raises IoError
// naming the file and the line: too short or too long for its fields, without its CR LF,
// a level that jumps or is below "0", an entry before any root, a root listed twice, a
// name out of order after its previous sibling.
class ListingReader {
 public:
  static constexpr unsigned char kEndLevel = '/';

  explicit ListingReader(const std::string& path);
  // The blank record (empty path, level "0", four blanks) until the first Next().
  const ListingRecord& Record() const { return record_; }
  bool AtEnd() const { return record_.level == kEndLevel; }
  void Next();

 private:
  [[noreturn]] void Damaged() const;

  std::string path_;
  platform::BufferedReader lines_;
  ListingRecord record_;
  std::string line_;
  std::string name_;
  std::vector<size_t> pathEnds_;  // length of the path at each level of the current record
  std::vector<std::string> names_;  // the current record's names below its root
  std::vector<std::string> roots_;  // the root lines read so far
  unsigned long lineNumber_ = 0;
};

// Merges two listings in one pass. Clears the three lists and fills them with full
// paths in listing order; an added or deleted folder brings everything below it.
// Stops early, with the lists as far as they are filled, when AbortRequested answers yes.
void CompareDiskSnapshots(const std::string& beforePath, const std::string& afterPath,
                          ResultList& added, ResultList& deleted, ResultList& changed,
                          const ProgressCallback& progress);

// The text of the progress line: at most 36 characters, the name kept where it fits.
std::string ShortenPathForDisplay(const std::string& path);

}  // namespace engines
