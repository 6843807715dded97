#include "engines/disk.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "platform/directory.h"
#include "platform/ioerror.h"

namespace engines {
namespace {

// The longest line a listing holds: the level, the stamp and a name, or "0" and a root.
// ANSI names and paths stop at MAX_PATH.
constexpr size_t kLongestLine = 5 + MAX_PATH;

// The level character is one byte: below this depth it stays within it. Long paths (up
// to 32,767 characters) can go deeper; what lies there is named as not listed.
constexpr unsigned kDeepestLevel = 255 - '0';

struct Sibling {
  std::string name;
  char stamp[4];
  bool folder;
  DWORD attributes;
};

// Last-write date and time (local, DOS form: date high, time low) XOR the low 32 bits of
// the size. Bytes that would read as a line end, tab, end-of-file mark or terminator are
// moved up by 32; the stamp is only ever compared, never decoded.
void SetStamp(const platform::FolderEntry& entry, char stamp[4]) {
  FILETIME local;
  WORD date = 0, time = 0;
  if (!FileTimeToLocalFileTime(&entry.lastWriteTime, &local) ||
      !FileTimeToDosDateTime(&local, &date, &time))
    date = time = 0;  // outside the DOS range (before 1980)
  uint32_t value = (static_cast<uint32_t>(date) << 16 | time) ^ (entry.IsFolder() ? 0 : entry.sizeLow);
  for (int i = 0; i < 4; ++i) {
    unsigned char byte = static_cast<unsigned char>(value >> (8 * i));
    if (byte == 0 || byte == 8 || byte == 9 || byte == 10 || byte == 13 || byte == 26) byte += 32;
    stamp[i] = static_cast<char>(byte);
  }
}

// Merges the ordered runs [first, middle) and [middle, last), the first run's entry first
// of two that compare equal. Two equal names that end up side by side meet in a
// comparison here, so that is where they are noticed.
void MergeRuns(std::vector<Sibling>& siblings, size_t first, size_t middle, size_t last,
               std::vector<Sibling>& buffer, bool& equalNames) {
  buffer.assign(std::make_move_iterator(siblings.begin() + first),
                std::make_move_iterator(siblings.begin() + middle));
  size_t from = 0, next = middle, to = first;
  while (from < buffer.size() && next < last) {
    int order = CompareNames(buffer[from].name, siblings[next].name);
    equalNames = equalNames || order == 0;
    siblings[to++] = std::move(order <= 0 ? buffer[from++] : siblings[next++]);
  }
  while (from < buffer.size()) siblings[to++] = std::move(buffer[from++]);
}

// Searches mostly return names in this order already, or in a few runs of it (NTFS and
// Wine sort by upper-case code, which puts "_" and "~" elsewhere), so the runs are found
// with one comparison a pair and merged, rather than sorted from scratch.
void SortSiblings(std::vector<Sibling>& siblings) {
  std::vector<size_t> runStarts{0};
  bool equalNames = false;
  for (size_t i = 1; i < siblings.size(); ++i) {
    int order = CompareNames(siblings[i - 1].name, siblings[i].name);
    if (order > 0) runStarts.push_back(i);
    equalNames = equalNames || order == 0;
  }
  runStarts.push_back(siblings.size());
  std::vector<Sibling> buffer;
  while (runStarts.size() > 2) {
    std::vector<size_t> joined;
    size_t r = 0;
    for (; r + 2 < runStarts.size(); r += 2) {
      MergeRuns(siblings, runStarts[r], runStarts[r + 1], runStarts[r + 2], buffer, equalNames);
      joined.push_back(runStarts[r]);
    }
    if (r + 1 < runStarts.size()) joined.push_back(runStarts[r]);  // an odd run out
    joined.push_back(siblings.size());
    runStarts.swap(joined);
  }
  // Names the comparison cannot tell apart (a.txt and A.txt on a case-sensitive file
  // system) would confuse the merge of two listings: the first one found is listed.
  if (equalNames) {
    auto same = [](const Sibling& a, const Sibling& b) { return CompareNames(a.name, b.name) == 0; };
    siblings.erase(std::unique(siblings.begin(), siblings.end(), same), siblings.end());
  }
}

bool HoldsAnything(const std::string& folder) {
  platform::FolderSearch search(folder);
  platform::FolderEntry entry;
  while (search.Next(entry))
    if (!platform::IsSelfOrParent(entry.name)) return true;
  return false;
}

class ListingWriter {
 public:
  ListingWriter(platform::BufferedWriter& out, ResultList* notListed)
      : out_(out), notListed_(notListed) {}
  bool Stopped() const { return stopped_; }

  // folder has no trailing backslash; it is restored on return.
  void Walk(std::string& folder, unsigned depth) {
    if (abortRequested_()) {
      stopped_ = true;
      return;
    }
    std::vector<Sibling> siblings;
    {
      platform::FolderSearch search(folder);
      platform::FolderEntry entry;
      while (search.Next(entry)) {
        if (entry.name.empty() || platform::IsSelfOrParent(entry.name)) continue;
        siblings.push_back(Sibling{std::move(entry.name), {}, entry.IsFolder(), entry.attributes});
        SetStamp(entry, siblings.back().stamp);
      }
    }
    SortSiblings(siblings);

    const char level = static_cast<char>('0' + depth);
    const size_t folderLength = folder.size();
    for (const Sibling& sibling : siblings) {
      out_.Write(&level, 1);
      out_.Write(sibling.stamp, 4);
      out_.Write(sibling.name);
      out_.Write("\r\n", 2);
      if (!sibling.folder) continue;
      folder += '\\';
      folder += sibling.name;
      bool linked = false;
      if (depth < kDeepestLevel && links_.MayEnter(folder, sibling.attributes, linked))
        Walk(folder, depth + 1);
      else if (notListed_ && HoldsAnything(folder))
        notListed_->push_back(ListEntry{folder, {}});
      if (linked) links_.Leave();
      folder.resize(folderLength);
      if (stopped_) return;
    }
  }

 private:
  platform::BufferedWriter& out_;
  ResultList* notListed_;
  platform::LinkTrail links_;
  AbortPoll abortRequested_;  // asked for every folder
  bool stopped_ = false;
};

// Deeper records first, then paths; the end marker's level is below every other.
int OrderRecords(const ListingRecord& before, const ListingRecord& after) {
  if (before.level != after.level) return before.level > after.level ? -1 : 1;
  return CompareNames(before.path, after.path);
}

// The folder part before the backslash at slash; a drive root keeps its backslash.
std::string FolderBefore(const std::string& path, size_t slash) {
  return path.substr(0, slash == 2 && path[1] == ':' ? 3 : slash);
}

}  // namespace

void SnapshotDisks(const std::string& listingPath, const TrackedList& roots,
                   const ProgressCallback& progress, ResultList* notListed) {
  platform::BufferedWriter out(listingPath);
  ListingWriter writer(out, notListed);
  for (const std::string& root : roots.entries) {
    if (root.empty()) continue;  // its root line would not read back
    if (progress) progress(root);
    if (AbortRequested()) break;
    out.WriteLine("0" + root);
    std::string folder = WithoutTrailingBackslash(root);  // c:\ is searched as c:\*.*
    writer.Walk(folder, 1);
    if (writer.Stopped()) break;
  }
  out.Close();
}

ListingReader::ListingReader(const std::string& path) : path_(path), lines_(path) {
  record_.stamp = "    ";
}

void ListingReader::Damaged() const { platform::ThrowDamagedLine(path_, lineNumber_); }

void ListingReader::Next() {
  ++lineNumber_;
  switch (lines_.ReadWrittenLine(line_, kLongestLine)) {
    case platform::BufferedReader::Read::Line: break;
    case platform::BufferedReader::Read::Damaged: Damaged();
    case platform::BufferedReader::Read::End:
      record_.path.clear();
      record_.stamp.clear();
      record_.level = kEndLevel;
      pathEnds_.clear();
      return;
  }
  if (line_.empty()) Damaged();
  const unsigned char level = static_cast<unsigned char>(line_[0]);
  if (level == '0') {
    // Each root once: a second listing of it would come out as deleted and added again.
    if (line_.size() < 2 ||
        std::find(roots_.begin(), roots_.end(), line_) != roots_.end())
      Damaged();
    roots_.push_back(line_);
    record_.path.assign(line_, 1, std::string::npos);
    record_.stamp.clear();
    record_.level = level;
    pathEnds_.assign(1, record_.path.size());
    names_.clear();
    return;
  }
  // An entry: a level one deeper than the record before it at most, four stamp bytes
  // and a name of at least one character that a folder search could give.
  const size_t depth = level - '0';
  if (level < '0' || pathEnds_.empty() || depth > pathEnds_.size() || line_.size() < 6 ||
      line_.find_first_of("\\/\0", 5, 3) != std::string::npos)
    Damaged();
  // Siblings stand in strictly ascending order: out of order, the merge would report
  // them deleted on one side and added on the other.
  name_.assign(line_, 5, std::string::npos);
  if (depth <= names_.size() && !BeforeByBytes(names_[depth - 1], name_) &&
      CompareNames(names_[depth - 1], name_) >= 0)
    Damaged();
  names_.resize(depth);
  names_[depth - 1] = name_;
  std::string& path = record_.path;
  path.resize(pathEnds_[depth - 1]);
  if (path.back() != '\\') path += '\\';
  path += name_;
  pathEnds_.resize(depth);
  pathEnds_.push_back(path.size());
  record_.stamp.assign(line_, 1, 4);
  record_.level = level;
}

void CompareDiskSnapshots(const std::string& beforePath, const std::string& afterPath,
                          ResultList& added, ResultList& deleted, ResultList& changed,
                          const ProgressCallback& progress) {
  added.clear();
  deleted.clear();
  changed.clear();
  ListingReader before(beforePath);
  ListingReader after(afterPath);
  AbortPoll abortRequested(AbortPoll::kComparePeriod);
  // Both start on the same blank record, which the first step consumes.
  while (!before.AtEnd() || !after.AtEnd()) {
    const ListingRecord& old = before.Record();
    const ListingRecord& now = after.Record();
    if (progress && (old.level == '0' || old.level == '1'))
      progress(ShortenPathForDisplay(old.path));
    if (abortRequested()) return;
    int order = OrderRecords(old, now);
    if (order < 0) {
      deleted.push_back(ListEntry{old.path, {}});
      before.Next();
    } else if (order > 0) {
      added.push_back(ListEntry{now.path, {}});
      after.Next();
    } else {
      if (old.stamp != now.stamp) changed.push_back(ListEntry{old.path, {}});
      before.Next();
      after.Next();
    }
  }
}

std::string ShortenPathForDisplay(const std::string& path) {
  if (path.size() <= 35) return path;
  const size_t slash = path.rfind('\\');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string folder = slash == std::string::npos ? std::string() : FolderBefore(path, slash);
  const long room = 33 - static_cast<long>(name.size());
  while (static_cast<long>(folder.size()) > room && folder.size() > 3) {
    const size_t cut = folder.rfind('\\');
    folder = cut == std::string::npos ? std::string() : FolderBefore(folder, cut);
  }
  std::string result =
      folder.size() == 3 ? folder.substr(0, 2) + "..\\" + name : folder + "\\..\\" + name;
  if (result.size() > 36) result = result.substr(0, 33) + "...";
  return result;
}

}  // namespace engines
