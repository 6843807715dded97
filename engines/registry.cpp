#include "engines/registry.h"

#include <algorithm>
#include <cstdint>
#include <unordered_set>

#include "engines/names.h"
#include "platform/registry.h"
#include "platform/textfile.h"
#include "platform/valuenames.h"

namespace engines {
namespace {

// Data of this size or more is not converted at all.
constexpr DWORD kConvertLimit = 32768;
constexpr unsigned kLastLevel = 255;
const char kTooLarge[] = "Binary data over 32K - changes not tracked";

// The written name (platform/valuenames.h), with control characters made dots.
std::string ListedValueName(const std::string& name) {
  std::string written = platform::WrittenValueName(name);
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
  bool Walk(const RegistryStart& start) {
    rootName_ = start.rootName;
    keyPath_.clear();
    WriteLine('0', '0', rootName_);
    unsigned level = '1';
    size_t from = start.keyPath.empty() || start.keyPath[0] != '\\' ? 0 : 1;
    while (from < start.keyPath.size()) {
      if (IsIgnored()) return true;
      size_t end = std::min(start.keyPath.find('\\', from), start.keyPath.size());
      std::string name = start.keyPath.substr(from, end - from);
      WriteLine(level++, '0', WrittenKeyName(name));
      keyPath_ += '\\';
      keyPath_ += name;
      from = end + 1;
    }
    WalkKey(start.root, keyPath_.empty() ? "" : keyPath_.substr(1), level, true);
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
  void WalkKey(HKEY parent, const std::string& name, unsigned level, bool required) {
    if (stopped_ || (stopped_ = abortRequested_())) return;
    if (IsIgnored()) return;
    if (level >= kLastLevel) return;  // the data lines one deeper need a level character too
    platform::RegKey key;
    LONG result = platform::OpenKeyForReading(parent, name, key);
    if (result != ERROR_SUCCESS) {
      if (required) Fail("ERROR GETTING KEYS/VALUES: " + keyPath_, result);
      return;
    }
    const platform::KeyCounts counts = platform::CountKey(key.get());
    std::vector<ValueLines> values;
    if (counts.known) values.reserve(counts.values);
    result = platform::ListValues(key.get(), counts, kConvertLimit,
                                  [&](const platform::RegistryValue& value) {
                                    values.push_back({ListedValueName(value.name),
                                                      DataLine(key.get(), value)});
                                  });
    std::vector<Subkey> subkeys;
    if (result == ERROR_SUCCESS) result = ListSubkeys(key.get(), counts, subkeys);
    if (result != ERROR_SUCCESS) {
      if (required || CannotGoOn(result)) Fail("ERROR GETTING KEYS/VALUES: " + keyPath_, result);
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
      WalkKey(key.get(), subkey.name, level + 1, false);
      keyPath_.resize(mark);
      if (stopped_) return;
    }
  }

  LONG ListSubkeys(HKEY key, const platform::KeyCounts& counts, std::vector<Subkey>& subkeys) {
    LONG result = platform::ListSubkeyNames(key, counts, names_);
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

  std::string DataLine(HKEY key, const platform::RegistryValue& value) {
    const char* data = value.data;
    DWORD size = value.size;
    std::string whole;
    if (!data && size >= kConvertLimit &&
        (value.type == REG_DWORD || value.type == REG_DWORD_BIG_ENDIAN)) {
      // A number is read from its first bytes whatever its size.
      LONG result = platform::ReadValueData(key, value.name, whole);
      if (CannotGoOn(result))
        Fail("ERROR GETTING DATA: " + keyPath_ + " (" + ListedValueName(value.name) + ")", result);
      if (result == ERROR_SUCCESS) {
        data = whole.data();
        size = static_cast<DWORD>(whole.size());
      }
    }
    std::string line(1, '\0');
    line[0] = static_cast<char>(50 + AppendDataText(value.type, size, data, line));
    return line;
  }

  bool IsIgnored() {
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

  [[noreturn]] void Fail(const std::string& line, LONG code) {
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

}  // namespace

int ListingDataText(DWORD type, const std::string& data, std::string& text) {
  return AppendDataText(type, static_cast<DWORD>(data.size()), data.data(), text);
}

void SnapshotRegistryFrom(const std::string& listingPath, const std::vector<RegistryStart>& starts,
                          const TrackedList& ignoredKeys, const ProgressCallback& progress,
                          const RegistryErrorNotice& notice) {
  platform::BufferedWriter out(listingPath);
  try {
    RegistryWalker walker(out, ignoredKeys, progress);
    for (const RegistryStart& start : starts)
      if (!walker.Walk(start)) break;
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

}  // namespace engines
