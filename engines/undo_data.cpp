#include "engines/undo_data.h"

#include <windows.h>

#include <cstdio>

#include "engines/helpers.h"
#include "platform/changes.h"
#include "platform/filebackups.h"
#include "platform/ioerror.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "platform/valuenames.h"

namespace engines {
namespace {

const char kFirstLine[] = "VORTAN4 UNDO DATA";
// Data longer than this goes to a file of its own beside ITEMS.TXT, so that a line holds
// at most the hex of two such values and two paths of 32,767 characters, every one escaped.
constexpr size_t kLongestInlineData = 32 * 1024;
constexpr size_t kLongestLine = 4 * kLongestInlineData + 2 * 3 * 32767 + 1024;
// A value file no larger than the registry lets a value be in practice.
constexpr size_t kLongestValueFile = 64 * 1024 * 1024;
constexpr char kValueFilePrefix[] = "file:";
constexpr char kValueFileExtension[] = ".VAL";
constexpr int kFields = 7;

struct KindName {
  UndoKind kind;
  const char* name;
};
constexpr KindName kKindNames[] = {
    {UndoKind::FileAdded, "FILE+"},        {UndoKind::FolderAdded, "DIR+"},
    {UndoKind::FileDeleted, "FILE-"},      {UndoKind::FileChanged, "FILE*"},
    {UndoKind::FolderDeleted, "DIR-"},     {UndoKind::FileNewer, "FILE?"},
    {UndoKind::KeyAdded, "KEY+"},
    {UndoKind::KeyDeleted, "KEY-"},        {UndoKind::ValueAdded, "VAL+"},
    {UndoKind::ValueChanged, "VAL*"},      {UndoKind::ValueDeleted, "VAL-"},
    {UndoKind::IniKeyAdded, "INI+"},       {UndoKind::IniKeyChanged, "INI*"},
    {UndoKind::IniKeyDeleted, "INI-"},     {UndoKind::IniSectionAdded, "SEC+"},
    {UndoKind::IniSectionDeleted, "SEC-"}, {UndoKind::DeviceAdded, "DEV+"},
    {UndoKind::DeviceDeleted, "DEV-"},    {UndoKind::IniFileCopy, "INI="},
};

const char* NameOf(UndoKind kind) {
  for (const KindName& entry : kKindNames)
    if (entry.kind == kind) return entry.name;
  return "?";
}

std::string Hex(uint64_t value, int digits) {
  char text[24];
  std::snprintf(text, sizeof text, "%0*llX", digits, static_cast<unsigned long long>(value));
  return text;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool ParseHex(const std::string& text, uint64_t& value) {
  if (text.empty() || text.size() > 16) return false;
  value = 0;
  for (char c : text) {
    int digit = HexDigit(c);
    if (digit < 0) return false;
    value = value << 4 | static_cast<unsigned>(digit);
  }
  return true;
}

std::string Escape(const std::string& field) {
  std::string out;
  for (unsigned char c : field) {
    if (c < 32 || c == '%' || c == 127)
      out += "%" + Hex(c, 2);
    else
      out += static_cast<char>(c);
  }
  return out;
}

bool Unescape(const std::string& field, std::string& out) {
  out.clear();
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '%') {
      out += field[i];
      continue;
    }
    if (i + 2 >= field.size()) return false;
    int high = HexDigit(field[i + 1]), low = HexDigit(field[i + 2]);
    if (high < 0 || low < 0) return false;
    out += static_cast<char>(high << 4 | low);
    i += 2;
  }
  return true;
}

std::string TypeField(const UndoValue& value) {
  return (value.full ? "x" : "") + std::to_string(value.type);
}

bool ParseType(const std::string& field, UndoValue& value) {
  value.full = !field.empty() && field[0] == 'x';
  const std::string digits = value.full ? field.substr(1) : field;
  if (digits.empty() || digits.size() > 9) return false;
  for (char c : digits)
    if (c < '0' || c > '9') return false;
  value.type = std::stoi(digits);
  return true;
}

bool HasValueData(UndoKind kind) {
  return kind == UndoKind::ValueAdded || kind == UndoKind::ValueChanged ||
         kind == UndoKind::ValueDeleted;
}

bool IsFileKind(UndoKind kind) { return kind <= UndoKind::FileNewer; }
bool IsRegistryKind(UndoKind kind) { return kind >= UndoKind::KeyAdded && kind <= UndoKind::ValueDeleted; }

bool TakesCopy(UndoKind kind) {
  return kind == UndoKind::FileDeleted || kind == UndoKind::FileChanged ||
         kind == UndoKind::IniFileCopy;
}
bool HasCopy(const UndoItem& item) { return TakesCopy(item.kind) && !item.copy.copy.empty(); }
// Kinds whose after field holds the size and time the install left.
bool HasStamp(UndoKind kind) { return kind == UndoKind::FileChanged || kind == UndoKind::IniFileCopy; }

std::string StampField(const UndoItem& item) {
  return Hex(item.size, 1) + "," + Hex(item.writeTime, 1);
}

bool ParseStamp(const std::string& stamp, UndoItem& item) {
  size_t comma = stamp.find(',');
  return comma != std::string::npos && ParseHex(stamp.substr(0, comma), item.size) &&
         ParseHex(stamp.substr(comma + 1), item.writeTime);
}

// "stem,attributes,size,written,created,accessed"
std::string CopyField(const platform::FileCopy& copy) {
  std::string stem = platform::FileNameOf(copy.copy);
  stem = stem.substr(0, stem.find('.'));
  return stem + "," + Hex(copy.attributes, 1) + "," + Hex(copy.size, 1) + "," +
         Hex(copy.written, 1) + "," + Hex(copy.created, 1) + "," + Hex(copy.accessed, 1);
}

bool ParseCopy(const std::string& field, const std::string& folder, platform::FileCopy& copy) {
  std::vector<std::string> parts;
  for (size_t start = 0;;) {
    const size_t comma = field.find(',', start);
    parts.push_back(field.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  uint64_t attributes = 0;
  if (parts.size() != 6 || !filebackups::IsStem(parts[0]) || !ParseHex(parts[1], attributes) ||
      attributes > 0xFFFFFFFFu || !ParseHex(parts[2], copy.size) ||
      !ParseHex(parts[3], copy.written) || !ParseHex(parts[4], copy.created) ||
      !ParseHex(parts[5], copy.accessed))
    return false;
  copy.attributes = static_cast<DWORD>(attributes);
  copy.copy = WithTrailingBackslash(folder) + parts[0] + filebackups::kCopyExtension;
  return true;
}

// Where long data of one value goes: "<16 hex digits>.VAL" in the undo folder.
std::string ValueFileStem(size_t itemIndex, bool after) { return Hex(itemIndex * 2 + after, 16); }
std::string ValueFilePath(const std::string& folder, const std::string& stem) {
  return WithTrailingBackslash(folder) + stem + kValueFileExtension;
}

// The data field of a registry value: the listing's text, the bytes in hex, or for long
// data the name of the file that holds the bytes.
std::string ValueField(const UndoValue& value, const std::string& folder, const std::string& stem) {
  if (!value.full) return value.data;
  if (value.data.size() <= kLongestInlineData) return HexDigits(value.data);
  platform::BufferedWriter out(ValueFilePath(folder, stem));
  out.Write(value.data);
  out.Close();
  return kValueFilePrefix + stem;
}

std::string ItemLine(const UndoItem& item, size_t index, const std::string& folder) {
  std::string fields[kFields] = {NameOf(item.kind), item.place, item.name, "", "", "", ""};
  if (HasValueData(item.kind)) {
    if (item.kind != UndoKind::ValueAdded) {
      fields[3] = TypeField(item.before);
      fields[4] = ValueField(item.before, folder, ValueFileStem(index, false));
    }
    if (item.kind != UndoKind::ValueDeleted) {
      fields[5] = TypeField(item.after);
      fields[6] = ValueField(item.after, folder, ValueFileStem(index, true));
    }
  } else if (item.kind == UndoKind::FileAdded) {
    fields[6] = StampField(item);
  } else if (HasCopy(item)) {
    fields[4] = CopyField(item.copy);
    if (HasStamp(item.kind)) fields[6] = StampField(item);
  } else {
    fields[4] = item.before.data;
    fields[6] = item.after.data;
  }
  std::string line;
  for (int i = 0; i < kFields; ++i) line += (i ? "\t" : "") + Escape(fields[i]);
  return line;
}

// A canonical path the undo may touch: below a watched folder (canonical too).
bool LiesBelow(const std::string& path, const std::vector<std::string>& folders) {
  const std::string lower = LowerAscii(path);
  for (const std::string& folder : folders) {
    const std::string inside = WithTrailingBackslash(LowerAscii(folder));
    if (lower.size() > inside.size() && lower.compare(0, inside.size(), inside) == 0) return true;
  }
  return false;
}

bool IsWatchedIni(const std::string& path, const std::vector<std::string>& inis) {
  for (const std::string& ini : inis)
    if (LowerAscii(ini) == LowerAscii(path)) return true;
  return false;
}

bool IsIniFileName(const std::string& path) { return platform::UpperExtension(path) == ".INI"; }

class Reader {
 public:
  explicit Reader(const std::string& path) : path_(path), lines_(path) {}

  // The next line, counted in the checksum; cut short or damaged lines end the reading.
  std::string Next() {
    std::string line;
    switch (lines_.ReadWrittenLine(line, kLongestLine)) {
      case platform::BufferedReader::Read::End:
        ++number_;  // the line that is missing
        Fail("the data is cut short");
      case platform::BufferedReader::Read::Damaged:
        ++number_;
        Fail("damaged line");
      case platform::BufferedReader::Read::Line:
        break;
    }
    ++number_;
    crc_.Add(line + "\r\n");
    return line;
  }

  // The text after "name=" of the next line.
  std::string Field(const char* name) {
    std::string line = Next();
    const std::string start = std::string(name) + "=";
    if (line.compare(0, start.size(), start) != 0) Fail(std::string("\"") + name + "=\" expected");
    return line.substr(start.size());
  }

  bool AtEnd() {
    std::string rest;
    return lines_.ReadWrittenLine(rest, kLongestLine) == platform::BufferedReader::Read::End;
  }

  [[noreturn]] void Fail(const std::string& what) const {
    throw UndoDataError(path_ + ", line " + std::to_string(number_) + ": " + what);
  }

  uint32_t Checksum() const { return crc_.Value(); }
  unsigned long Number() const { return number_; }

 private:
  std::string path_;
  platform::BufferedReader lines_;
  Crc32 crc_;
  unsigned long number_ = 0;
};

UndoItem ParseItem(const std::string& line, const UndoData& data, int version,
                   const std::string& folder, const Reader& reader) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    std::string field;
    if (!Unescape(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start),
                  field))
      reader.Fail("damaged escape");
    fields.push_back(field);
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  if (fields.size() != kFields) reader.Fail("an item needs seven fields");
  UndoItem item;
  bool known = false;
  for (const KindName& entry : kKindNames)
    if (fields[0] == entry.name) item.kind = entry.kind, known = true;
  if (!known) reader.Fail("unknown item \"" + fields[0] + "\"");
  if (item.kind == UndoKind::IniFileCopy && version < 3) reader.Fail("unknown item \"INI=\"");
  item.place = fields[1];
  item.name = fields[2];

  if (!IsRegistryKind(item.kind)) {
    // What the system would act on is what is checked, and what the undo uses.
    if (!platform::CanonicalDrivePath(fields[1], item.place))
      reader.Fail("the path " + fields[1] + " is not a plain path on a drive");
  }
  if (IsFileKind(item.kind)) {
    if (!LiesBelow(item.place, data.watchedFolders))
      reader.Fail("the path " + item.place + " lies outside the watched folders");
  } else if (IsRegistryKind(item.kind)) {
    std::string root, subkey;
    if (!SplitRegistryPath(item.place, root, subkey) ||
        (subkey.empty() && !HasValueData(item.kind)))
      reader.Fail("the key " + item.place + " is not one below HKEY_USERS or HKEY_LOCAL_MACHINE");
    if (HasValueData(item.kind) && item.name.empty()) reader.Fail("a value without a name");
    // Before version 3 only "@" stood for the default value; other names were as they are.
    if (version < 3 && item.name != "@" && platform::OnlyAtSigns(item.name)) item.name += "@";
  } else if (!IsWatchedIni(item.place, data.watchedInis)) {
    reader.Fail("the INI file " + item.place + " is not a watched one");
  }

  if (HasValueData(item.kind)) {
    auto parse = [&](int typeField, UndoValue& value) {
      if (!ParseType(fields[typeField], value)) reader.Fail("damaged registry type");
      const std::string& text = fields[typeField + 1];
      value.data = text;
      if (!value.full) return;
      if (version >= 3 && text.compare(0, sizeof kValueFilePrefix - 1, kValueFilePrefix) == 0) {
        const std::string stem = text.substr(sizeof kValueFilePrefix - 1);
        if (!filebackups::IsStem(stem) ||
            !platform::ReadFileBytes(ValueFilePath(folder, stem), kLongestValueFile, value.data))
          reader.Fail("the registry data in " + stem + kValueFileExtension + " cannot be read");
      } else if (!BytesOfHexDigits(text, value.data)) {
        reader.Fail("damaged registry data");
      }
    };
    if (item.kind != UndoKind::ValueAdded) parse(3, item.before);
    if (item.kind != UndoKind::ValueDeleted) parse(5, item.after);
  } else if (item.kind == UndoKind::FileAdded) {
    if (!ParseStamp(fields[6], item)) reader.Fail("damaged file size and time");
  } else if (TakesCopy(item.kind) && (!fields[4].empty() || item.kind == UndoKind::IniFileCopy)) {
    if (!ParseCopy(fields[4], folder, item.copy)) reader.Fail("damaged copy of the old file");
    if (HasStamp(item.kind) && !ParseStamp(fields[6], item))
      reader.Fail("damaged file size and time");
  } else {
    item.before.data = fields[4];
    item.after.data = fields[6];
  }
  return item;
}

}  // namespace

UndoPlaces UndoPlacesOf(const std::string& reportPath) {
  const std::string stem = platform::FolderOf(reportPath) + platform::StemOf(reportPath);
  return {stem + ".UND", stem + ".UNDO.TXT", stem + ".UNDO.REG", stem + ".REDO.REG"};
}

void WriteUndoData(const std::string& folder, const UndoData& data) {
  if (LONG code = platform::MakeFolder(folder); code != ERROR_SUCCESS)
    throw platform::IoError("Create folder", folder, static_cast<DWORD>(code));
  platform::BufferedWriter out(WithTrailingBackslash(folder) + kUndoItemsFile);
  Crc32 crc;
  auto line = [&](const std::string& text) {
    out.WriteLine(text);
    crc.Add(text + "\r\n");
  };
  line(kFirstLine);
  line("version=" + std::to_string(kUndoDataVersion));
  line("report=" + Escape(data.report));
  line("mode=" + std::to_string(data.mode));
  for (const std::string& folderPath : data.watchedFolders) line("watch=" + Escape(folderPath));
  for (const std::string& ini : data.watchedInis) line("ini=" + Escape(ini));
  line("items=" + std::to_string(data.items.size()));
  for (size_t i = 0; i < data.items.size(); ++i) line(ItemLine(data.items[i], i, folder));
  out.WriteLine("end=" + std::to_string(data.items.size()) + " " + Hex(crc.Value(), 8));
  out.Close();
}

UndoData ReadUndoData(const std::string& folder) {
  const std::string path = WithTrailingBackslash(folder) + kUndoItemsFile;
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
    throw UndoDataError(path + ": there is no undo data for this report");
  Reader reader(path);
  UndoData data;
  if (reader.Next() != kFirstLine) reader.Fail("this is not undo data");
  const std::string versionText = reader.Field("version");
  if (versionText.size() != 1 || versionText[0] < '1' || versionText[0] > '0' + kUndoDataVersion)
    reader.Fail("version " + versionText + " is not one this program reads");
  const int version = versionText[0] - '0';
  auto unescaped = [&](const std::string& text) {
    std::string out;
    if (!Unescape(text, out)) reader.Fail("damaged escape");
    return out;
  };
  data.report = unescaped(reader.Field("report"));
  const std::string mode = reader.Field("mode");
  if (mode != "1" && mode != "2" && mode != "3") reader.Fail("unknown tracking mode " + mode);
  data.mode = mode[0] - '0';

  std::string line = reader.Next();
  for (;; line = reader.Next()) {
    std::string place;
    if (line.compare(0, 6, "watch=") == 0) {
      if (!platform::CanonicalDrivePath(unescaped(line.substr(6)), place))
        reader.Fail("the watched folder is not a plain path on a drive");
      data.watchedFolders.push_back(place);
    } else if (line.compare(0, 4, "ini=") == 0) {
      if (!platform::CanonicalDrivePath(unescaped(line.substr(4)), place) || !IsIniFileName(place))
        reader.Fail("the watched INI file is not a plain path of an INI file on a drive");
      data.watchedInis.push_back(place);
    } else {
      break;
    }
  }
  if (line.compare(0, 6, "items=") != 0) reader.Fail("\"items=\" expected");
  const std::string countText = line.substr(6);
  if (countText.empty() || countText.size() > 9 ||
      countText.find_first_not_of("0123456789") != std::string::npos)
    reader.Fail("damaged item count");
  const unsigned long count = std::stoul(countText);
  for (unsigned long i = 0; i < count; ++i) {
    line = reader.Next();
    if (line.compare(0, 4, "end=") == 0) reader.Fail("the data is cut short");
    data.items.push_back(ParseItem(line, data, version, folder, reader));
  }
  const uint32_t checksum = reader.Checksum();
  const std::string end = reader.Field("end");
  if (end != countText + " " + Hex(checksum, 8)) reader.Fail("the data is damaged (checksum)");
  if (!reader.AtEnd()) reader.Fail("more lines after the end");
  return data;
}

}  // namespace engines
