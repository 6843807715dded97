#include "engines/registry.h"

#include <algorithm>
#include <cstdint>
#include <unordered_set>

#include "engines/names.h"
#include "platform/registry.h"
#include "platform/textfile.h"

namespace engines {
namespace {

// Data of this size or more is not converted at all.
constexpr DWORD kConvertLimit = 32768;
constexpr int kFoldedType = 16;  // added to the type of data folded into 16 bytes
constexpr unsigned kLastLevel = 255;
const char kTooLarge[] = "Binary data over 32K - changes not tracked";

std::string WrittenValueName(const std::string& name) {
  if (name.empty()) return "@";
  std::string written = name;
  for (char& c : written)
    if (static_cast<unsigned char>(c) < 32) c = '.';
  return written;
}

// A line break in a key name would split its line in two.
std::string WrittenKeyName(const std::string& name) {
  std::string written = name;
  for (char& c : written)
    if (c == '\r' || c == '\n') c = '.';
  return written;
}

void AppendHexBytes(const unsigned char* bytes, size_t count, std::string& text) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) text += ',';
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
}

// Shows whether long data changed, not what it holds.
void AppendFolded(const unsigned char* bytes, size_t count, std::string& text) {
  unsigned char folded[16] = {};
  for (size_t i = 0; i < count; ++i) folded[i % 16] ^= bytes[i];
  AppendHexBytes(folded, 16, text);
}

void AppendString(const unsigned char* bytes, size_t count, std::string& text) {
  if (count > 0 && bytes[count - 1] == 0) --count;
  for (size_t i = 0; i < count; ++i) text += bytes[i] < 32 ? ' ' : static_cast<char>(bytes[i]);
}

// Appends the data's text and answers the recorded type. data is null when the value
// could not be read. An empty value keeps its own type, unless the kind character could
// not carry it: from 16 on it would read as folded data, and far beyond it would leave
// the character range or even read as a value name.
int AppendDataText(DWORD type, DWORD size, const char* data, std::string& text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  bool isString = type == REG_SZ || type == REG_EXPAND_SZ;
  bool isNumber = type == REG_DWORD || type == REG_DWORD_BIG_ENDIAN;
  if (size >= kConvertLimit && !isNumber) {
    text += kTooLarge;
    return isString ? static_cast<int>(type) : REG_BINARY;
  }
  if (!data || size == 0)
    return isString || isNumber || type < kFoldedType ? static_cast<int>(type) : REG_BINARY;
  if (isString) {
    if (size < 256) {
      AppendString(bytes, size, text);
      return static_cast<int>(type);
    }
    AppendFolded(bytes, size, text);
    return static_cast<int>(type) + kFoldedType;
  }
  if (isNumber) {
    if (size < 4) {
      // Too short for a number: the bytes it does hold.
      AppendHexBytes(bytes, size, text);
    } else {
      uint32_t number =
          bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
      if (type == REG_DWORD_BIG_ENDIAN)
        number = number >> 24 | (number >> 8 & 0xFF00) | (number << 8 & 0xFF0000) | number << 24;
      text += std::to_string(static_cast<int32_t>(number));
    }
    return static_cast<int>(type);
  }
  if (size <= 16) {
    AppendHexBytes(bytes, size, text);
    return REG_BINARY;
  }
  AppendFolded(bytes, size, text);
  return REG_BINARY + kFoldedType;
}

// Out of memory or a damaged registry: the snapshot cannot go on. Any other error leaves
// out what lies below one key.
bool CannotGoOn(LONG code) {
  return code == ERROR_NOT_ENOUGH_MEMORY || code == ERROR_OUTOFMEMORY || code == ERROR_BADDB ||
         code == ERROR_REGISTRY_CORRUPT || code == ERROR_REGISTRY_IO_FAILED;
}

std::unordered_set<std::string> LowerKeys(const TrackedList& keys) {
  std::unordered_set<std::string> lowered;
  for (std::string key : keys.entries) {
    CharLowerBuffA(key.data(), static_cast<DWORD>(key.size()));
    lowered.insert(key);
  }
  return lowered;
}

class RegistryWalker {
 public:
  RegistryWalker(platform::BufferedWriter& out, const TrackedList& ignoredKeys,
                 const ProgressCallback& progress)
      : out_(out), ignored_(LowerKeys(ignoredKeys)), progress_(progress) {}

  // Answers false when the walk was stopped.
  bool walk(const RegistryStart& start) {
    rootName_ = start.rootName;
    keyPath_.clear();
    WriteLine('0', '0', rootName_);
    unsigned level = '1';
    size_t from = start.keyPath.empty() || start.keyPath[0] != '\\' ? 0 : 1;
    while (from < start.keyPath.size()) {
      if (isIgnored()) return true;
      size_t end = std::min(start.keyPath.find('\\', from), start.keyPath.size());
      std::string name = start.keyPath.substr(from, end - from);
      WriteLine(level++, '0', WrittenKeyName(name));
      keyPath_ += '\\';
      keyPath_ += name;
      from = end + 1;
    }
    walkKey(start.root, keyPath_.empty() ? "" : keyPath_.substr(1), level, true);
    return !stopped_;
  }

 private:
  struct ValueLines {
    std::string name;
    std::string data;  // kind and text
  };
  struct Subkey {
    std::string written;
    std::string name;
  };

  // The key's values and subkeys at level; a key that cannot be opened or listed keeps
  // its own line and contributes nothing, unless the walk cannot do without it.
  void walkKey(HKEY parent, const std::string& name, unsigned level, bool required) {
    if (stopped_ || (stopped_ = abortRequested_())) return;
    if (isIgnored()) return;
    if (level >= kLastLevel) return;  // the data lines one deeper need a level character too
    platform::RegKey key;
    LONG result = platform::OpenKeyForReading(parent, name, key);
    if (result != ERROR_SUCCESS) {
      if (required) fail("ERROR GETTING KEYS/VALUES: " + keyPath_, result);
      return;
    }
    std::vector<ValueLines> values;
    result =
        platform::ListValues(key.get(), kConvertLimit, [&](const platform::RegistryValue& value) {
          values.push_back({WrittenValueName(value.name), dataLine(key.get(), value)});
        });
    std::vector<Subkey> subkeys;
    if (result == ERROR_SUCCESS) result = listSubkeys(key.get(), subkeys);
    if (result != ERROR_SUCCESS) {
      if (required || CannotGoOn(result)) fail("ERROR GETTING KEYS/VALUES: " + keyPath_, result);
      return;
    }

    std::sort(values.begin(), values.end(),
              [](const ValueLines& a, const ValueLines& b) { return SortsBefore(a.name, b.name); });
    values.erase(std::unique(values.begin(), values.end(),
                             [](const ValueLines& a, const ValueLines& b) { return a.name == b.name; }),
                 values.end());
    for (const ValueLines& value : values) {
      WriteLine(level, '1', value.name);
      WriteLine(level + 1, value.data);
    }
    for (const Subkey& subkey : subkeys) {
      if (level <= '3' && progress_) progress_(rootName_ + keyPath_);
      if (subkey.name.empty()) continue;
      WriteLine(level, '0', subkey.written);
      size_t mark = keyPath_.size();
      keyPath_ += '\\';
      keyPath_ += subkey.name;
      walkKey(key.get(), subkey.name, level + 1, false);
      keyPath_.resize(mark);
      if (stopped_) return;
    }
  }

  LONG listSubkeys(HKEY key, std::vector<Subkey>& subkeys) {
    LONG result = platform::ListSubkeyNames(key, names_);
    if (result != ERROR_SUCCESS) return result;
    subkeys.reserve(names_.size());
    for (std::string& name : names_) subkeys.push_back({WrittenKeyName(name), std::move(name)});
    std::sort(subkeys.begin(), subkeys.end(),
              [](const Subkey& a, const Subkey& b) { return SortsBefore(a.written, b.written); });
    subkeys.erase(std::unique(subkeys.begin(), subkeys.end(),
                              [](const Subkey& a, const Subkey& b) { return a.written == b.written; }),
                  subkeys.end());
    return ERROR_SUCCESS;
  }

  std::string dataLine(HKEY key, const platform::RegistryValue& value) {
    const char* data = value.data;
    DWORD size = value.size;
    std::string whole;
    if (!data && size >= kConvertLimit &&
        (value.type == REG_DWORD || value.type == REG_DWORD_BIG_ENDIAN)) {
      // A number is read from its first bytes whatever its size.
      LONG result = platform::ReadValueData(key, value.name, whole);
      if (CannotGoOn(result))
        fail("ERROR GETTING DATA: " + keyPath_ + " (" + WrittenValueName(value.name) + ")", result);
      if (result == ERROR_SUCCESS) {
        data = whole.data();
        size = static_cast<DWORD>(whole.size());
      }
    }
    std::string line(1, '\0');
    line[0] = static_cast<char>(50 + AppendDataText(value.type, size, data, line));
    return line;
  }

  bool isIgnored() {
    if (ignored_.empty()) return false;
    lowered_ = rootName_ + keyPath_;
    CharLowerBuffA(lowered_.data(), static_cast<DWORD>(lowered_.size()));
    return ignored_.count(lowered_) != 0;
  }

  void WriteLine(unsigned level, char kind, const std::string& text) {
    line_.assign(1, static_cast<char>(level));
    line_ += kind;
    line_ += text;
    out_.WriteLine(line_);
  }
  void WriteLine(unsigned level, const std::string& kindAndText) {
    line_.assign(1, static_cast<char>(level));
    line_ += kindAndText;
    out_.WriteLine(line_);
  }

  [[noreturn]] void fail(const std::string& line, LONG code) {
    out_.WriteLine(line);
    throw platform::RegistryError(rootName_ + keyPath_, code);
  }

  platform::BufferedWriter& out_;
  const std::unordered_set<std::string> ignored_;
  const ProgressCallback& progress_;
  std::string rootName_;
  std::string keyPath_;  // below the root: "" or "\name\name"
  std::string line_;
  std::string lowered_;
  std::vector<std::string> names_;
  AbortPoll abortRequested_;  // asked for every key
  bool stopped_ = false;
};

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

void SnapshotRegistryFrom(const std::string& listingPath, const std::vector<RegistryStart>& starts,
                          const TrackedList& ignoredKeys, const ProgressCallback& progress,
                          const RegistryErrorNotice& notice) {
  platform::BufferedWriter out(listingPath);
  try {
    RegistryWalker walker(out, ignoredKeys, progress);
    for (const RegistryStart& start : starts)
      if (!walker.walk(start)) break;
  } catch (const platform::RegistryError&) {
    out.Close();
    if (notice) notice(listingPath);
    throw;
  }
  out.Close();
}

void SnapshotRegistry(const std::string& basePath, const std::string& extension,
                      const TrackedList& ignoredKeys, const ProgressCallback& progress,
                      const RegistryErrorNotice& notice) {
  SnapshotRegistryFrom(
      basePath + extension.substr(0, 4),
      {{HKEY_USERS, "HKEY_USERS", ""}, {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", ""}}, ignoredKeys,
      progress, notice);
}

void CompareRegistrySnapshots(const std::string& beforePath, const std::string& afterPath,
                              ResultList& keysAdded, ResultList& keysDeleted,
                              ResultList& valuesChanged, ResultList& valuesAdded,
                              ResultList& valuesDeleted, const ProgressCallback& progress) {
  for (ResultList* list : {&keysAdded, &keysDeleted, &valuesChanged, &valuesAdded, &valuesDeleted})
    list->clear();
  ListingReader before(beforePath);
  ListingReader after(afterPath);
  AbortPoll abortRequested;
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
