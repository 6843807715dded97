#include <algorithm>

#include "engines/names.h"
#include "engines/registry.h"
#include "platform/ioerror.h"
#include "platform/textfile.h"

namespace engines {
namespace {

// The longest line a listing holds: level, kind and a value name of 16,383 characters,
// the most the registry allows; key names and data texts are far shorter.
constexpr size_t kLongestLine = 2 + 16383;
constexpr unsigned char kFirstDataKind = 50;                             // type 0
constexpr unsigned char kLastDataKind = 50 + REG_BINARY + kFoldedType;  // the highest recorded

// One record of a listing at a time: a root, a key or a value with its data. The end of
// the file gives the end marker, an empty path. A line that cannot be what the snapshot
// wrote raises RegistryListingCorrupted: cut, overlong, a level that jumps, a value
// without its data line, a root twice, a name out of order after its previous sibling.
class ListingReader {
 public:
  explicit ListingReader(const std::string& path) : file_(path) {}

  bool AtEnd() const { return depth_ == 0; }
  size_t Depth() const { return depth_; }
  const std::string& Name(size_t i) const { return names_[i]; }
  unsigned Level() const { return level_; }
  bool IsValue() const { return kind_ != '0'; }
  int RecordedType() const { return static_cast<int>(kind_) - 50; }
  const std::string& Data() const { return data_; }

  // The first count names joined by backslashes.
  std::string Path(size_t count) const {
    std::string joined;
    for (size_t i = 0; i < count; ++i) {
      if (i > 0) joined += '\\';
      joined += names_[i];
    }
    return joined;
  }

  void Next() {
    data_.clear();
    if (!ReadLine()) {
      depth_ = 0;
      level_ = '/';
      kind_ = '0';
      return;
    }
    if (line_.size() < 2) Corrupted();
    const unsigned level = static_cast<unsigned char>(line_[0]);
    const unsigned char kind = static_cast<unsigned char>(line_[1]);
    if (level < '0' || (kind != '0' && kind != '1')) Corrupted();
    // A key's contents are one level deeper than the key; a value has none. The first
    // line is a root, and each root stands once.
    const size_t depth = level - '0' + 1;
    if (depth > depth_ + (kind_ == '0' ? 1 : 0)) Corrupted();
    if (level == '0') {
      if (kind != '0' || std::find(roots_.begin(), roots_.end(), line_) != roots_.end())
        Corrupted();
      roots_.push_back(line_);
    }
    name_.assign(line_, 2, std::string::npos);
    if (depth <= depth_ && depth > 1) {
      // Within a key its values come first, then its subkeys, each in ascending order.
      const bool previousIsValue = kinds_[depth - 1] == '1';
      if (kind == '1' && !previousIsValue) Corrupted();
      if ((kind == '1') == previousIsValue && !BeforeByBytes(names_[depth - 1], name_) &&
          !SortsBefore(names_[depth - 1], name_))
        Corrupted();
    }
    if (names_.size() < depth) {
      names_.resize(depth);
      kinds_.resize(depth);
    }
    names_[depth - 1].swap(name_);
    kinds_[depth - 1] = kind;
    depth_ = depth;
    level_ = level;
    kind_ = kind;
    if (kind == '1') {
      if (!ReadLine() || line_.size() < 2 || static_cast<unsigned char>(line_[0]) != level + 1 ||
          static_cast<unsigned char>(line_[1]) < kFirstDataKind ||
          static_cast<unsigned char>(line_[1]) > kLastDataKind)
        Corrupted();
      kind_ = static_cast<unsigned char>(line_[1]);
      data_.assign(line_, 2, std::string::npos);
    }
  }

 private:
  // False at the end of the file.
  bool ReadLine() {
    ++lineNumber_;
    switch (file_.ReadWrittenLine(line_, kLongestLine)) {
      case platform::BufferedReader::Read::Line: return true;
      case platform::BufferedReader::Read::End: return false;
      case platform::BufferedReader::Read::Damaged: break;
    }
    Corrupted();
  }
  [[noreturn]] void Corrupted() const {
    throw RegistryListingCorrupted(file_.Path(), lineNumber_);
  }

  platform::BufferedReader file_;
  std::vector<std::string> names_;  // the first depth_ are the path
  std::vector<unsigned char> kinds_;  // "0" a key, "1" a value, for each of names_
  std::vector<std::string> roots_;    // the root lines read so far
  size_t depth_ = 0;
  unsigned level_ = '0';
  unsigned char kind_ = '0';
  std::string data_;
  std::string line_;
  std::string name_;
  unsigned long lineNumber_ = 0;
};

// Negative when a comes first, positive when b does.
int Order(const ListingReader& a, const ListingReader& b) {
  if (a.AtEnd() || b.AtEnd()) return a.AtEnd() == b.AtEnd() ? 0 : a.AtEnd() ? 1 : -1;
  if (a.Depth() != b.Depth()) return a.Depth() > b.Depth() ? -1 : 1;
  if (a.IsValue() != b.IsValue()) return a.IsValue() ? -1 : 1;
  for (size_t i = 0; i < a.Depth(); ++i)
    if (int order = CompareNames(a.Name(i), b.Name(i))) return order;
  return 0;
}

// A record found on one side only.
void AddOneSided(const ListingReader& record, ResultList& keys, ResultList& values) {
  if (!record.IsValue()) {
    keys.push_back({record.Path(record.Depth()), {}});
    return;
  }
  RegObject object;
  object.valueType = record.RecordedType();
  object.valueName = record.Name(record.Depth() - 1);
  object.newData = record.Data();
  values.push_back({record.Path(record.Depth() - 1), std::move(object)});
}

}  // namespace

void CompareRegistrySnapshots(const std::string& beforePath, const std::string& afterPath,
                              ResultList& keysAdded, ResultList& keysDeleted,
                              ResultList& valuesChanged, ResultList& valuesAdded,
                              ResultList& valuesDeleted, const ProgressCallback& progress) {
  for (ResultList* list : {&keysAdded, &keysDeleted, &valuesChanged, &valuesAdded, &valuesDeleted})
    list->clear();
  ListingReader before(beforePath);
  ListingReader after(afterPath);
  AbortPoll abortRequested(AbortPoll::kComparePeriod);
  // Both start as empty paths: equal, so the first step reads the first records.
  do {
    if (abortRequested()) return;
    if (progress && !before.AtEnd() && before.Level() <= '2') progress(before.Path(before.Depth()));
    int order = Order(before, after);
    if (order < 0) {
      AddOneSided(before, keysDeleted, valuesDeleted);
      before.Next();
    } else if (order > 0) {
      AddOneSided(after, keysAdded, valuesAdded);
      after.Next();
    } else {
      // A kind change counts even where the text stays: "1" as a string and as a number,
      // a path that became expandable.
      if (before.Data() != after.Data() || before.RecordedType() != after.RecordedType()) {
        RegObject object;
        object.valueName = before.Name(before.Depth() - 1);
        object.valueType = before.RecordedType();
        if (object.valueType >= kFoldedType || after.RecordedType() >= kFoldedType) {
          // Folded bytes only show that the data changed, not what it is.
          if (object.valueType >= kFoldedType) object.valueType -= kFoldedType;
          object.newData = "(changed)";
          object.oldData = "(data too large)";
        } else {
          object.newData = after.Data();
          object.oldData = before.Data();
        }
        valuesChanged.push_back({before.Path(before.Depth() - 1), std::move(object)});
      }
      before.Next();
      after.Next();
    }
  } while (!before.AtEnd() || !after.AtEnd());
}

}  // namespace engines
