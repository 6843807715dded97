#include "engines/regfile.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "platform/textfile.h"
#include "platform/valuenames.h"

namespace engines {
namespace {

using K = UndoKind;

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// Written names (platform/valuenames.h) to the file's: the default value is @, any other
// is quoted as it stands in the registry ("@" for the value named "@", written "@@").
std::string ValueName(const std::string& name) {
  const std::string realName = platform::RealValueName(name);
  return realName.empty() ? "@" : Quoted(realName);
}

// Long data goes on over several lines, each but the last ending in a backslash.
std::string HexList(const std::string& bytes) {
  std::string out;
  char digits[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(bytes[i]));
    if (i > 0) out += i % 24 == 0 ? ",\\\r\n  " : ",";
    out += digits;
  }
  return out;
}

// The "name"=data line of a value, or a comment when the data is not held in full.
std::string ValueLine(const std::string& name, const UndoValue& value) {
  unsigned long type = 0;
  std::string bytes;
  if (!RegistryBytesOf(value, type, bytes))
    return "; " + ValueName(name) + ": the report holds only a digest of this data (" +
           value.data + ")";
  if (type == REG_SZ && bytes.find('\0') == bytes.size() - 1 &&
      bytes.find_first_of("\r\n") == std::string::npos)
    return ValueName(name) + "=" + Quoted(bytes.substr(0, bytes.size() - 1));
  if (type == REG_DWORD && bytes.size() == 4) {
    char number[16];
    std::snprintf(number, sizeof number, "dword:%08lx",
                  static_cast<unsigned long>(static_cast<unsigned char>(bytes[0]) |
                                             static_cast<unsigned char>(bytes[1]) << 8 |
                                             static_cast<unsigned char>(bytes[2]) << 16 |
                                             static_cast<unsigned long>(static_cast<unsigned char>(bytes[3])) << 24));
    return ValueName(name) + "=" + number;
  }
  if (type == REG_BINARY) return ValueName(name) + "=hex:" + HexList(bytes);
  return ValueName(name) + "=hex(" + std::to_string(type) + "):" + HexList(bytes);
}

bool Below(const std::string& key, const std::string& parent) {
  return key.size() > parent.size() && key[parent.size()] == '\\' &&
         CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, key.c_str(),
                        static_cast<int>(parent.size()), parent.c_str(),
                        static_cast<int>(parent.size())) == CSTR_EQUAL;
}

// Keys of this kind that no other key of it holds: deleting those deletes the rest.
std::vector<std::string> TopKeys(const UndoData& data, UndoKind kind) {
  std::vector<std::string> tops;
  for (const UndoItem& item : data.items)
    if (item.kind == kind && (tops.empty() || !Below(item.place, tops.back())))
      tops.push_back(item.place);
  return tops;
}

bool InsideAny(const std::string& key, const std::vector<std::string>& tops) {
  for (const std::string& top : tops)
    if (key.size() == top.size() ? lstrcmpiA(key.c_str(), top.c_str()) == 0 : Below(key, top))
      return true;
  return false;
}

}  // namespace

std::string RegEditText(const UndoData& data, bool redo) {
  std::vector<std::string> lines{"REGEDIT4", ""};
  lines.push_back(std::string("; ") + (redo ? "Makes again" : "Takes back") +
                  " the registry changes of the report " + data.report);
  std::string section;
  auto value = [&](const std::string& key, const std::string& line) {
    if (key != section) {
      lines.push_back("");
      lines.push_back("[" + key + "]");
      section = key;
    }
    lines.push_back(line);
  };
  auto keyLine = [&](const std::string& line) {
    lines.push_back("");
    lines.push_back(line);
    section.clear();
  };
  // Keys that go, with everything in them; values in them need no lines of their own.
  const std::vector<std::string> gone = TopKeys(data, redo ? K::KeyDeleted : K::KeyAdded);
  const K made = redo ? K::KeyAdded : K::KeyDeleted;
  for (const UndoItem& item : data.items)
    if (item.kind == made) keyLine("[" + item.place + "]");
  for (const UndoItem& item : data.items) {
    if (InsideAny(item.place, gone)) continue;
    const bool sets = redo ? item.kind != K::ValueDeleted : item.kind != K::ValueAdded;
    if (item.kind == K::ValueAdded || item.kind == K::ValueChanged || item.kind == K::ValueDeleted)
      value(item.place, sets ? ValueLine(item.name, redo ? item.after : item.before)
                             : ValueName(item.name) + "=-");
  }
  for (const std::string& key : gone) keyLine("[-" + key + "]");
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

void WriteRegEditFiles(const UndoData& data, const std::string& undoPath,
                       const std::string& redoPath) {
  for (bool redo : {false, true}) {
    platform::BufferedWriter out(redo ? redoPath : undoPath);
    out.Write(RegEditText(data, redo));
    out.Close();
  }
}

}  // namespace engines
