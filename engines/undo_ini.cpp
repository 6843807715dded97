// Undoing the changes of INI files: keys and sections through the profile functions, the
// device lines of SYSTEM.INI's [386Enh] section, where one key stands many times, as text.
#include <windows.h>

#include "engines/undo.h"
#include "platform/changes.h"
#include "platform/profile.h"
#include "platform/textfile.h"

namespace engines {
namespace {

using K = UndoKind;

struct IniKey {
  std::string section, key;
};
// "[section]key" or "[section]".
IniKey SplitIniName(const std::string& name) {
  const size_t close = name.find(']');
  if (name.empty() || name[0] != '[' || close == std::string::npos) return {"", name};
  return {name.substr(1, close - 1), name.substr(close + 1)};
}

bool SectionExists(const std::string& file, const std::string& section) {
  for (const std::string& name : platform::ProfileSectionNames(file))
    if (lstrcmpiA(name.c_str(), section.c_str()) == 0) return true;
  return false;
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool SameText(const std::string& a, const std::string& b) {
  return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// The file as lines, and where its [386Enh] section's lines are: from begin (after the
// section line) to end (the next section line or the end of the file).
struct IniText {
  std::vector<std::string> lines;
  size_t begin = 0, end = 0;
  bool hasSection = false;
};

IniText ReadIniText(const std::string& file) {
  IniText text;
  if (GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES) {
    platform::BufferedReader reader(file);
    std::string line;
    while (reader.ReadLine(line)) text.lines.push_back(line);
  }
  text.end = text.lines.size();
  for (size_t i = 0; i < text.lines.size(); ++i) {
    const std::string trimmed = Trimmed(text.lines[i]);
    if (!text.hasSection && SameText(trimmed, "[386Enh]")) {
      text.hasSection = true;
      text.begin = i + 1;
    } else if (text.hasSection && !trimmed.empty() && trimmed[0] == '[') {
      text.end = i;
      break;
    }
  }
  return text;
}

size_t FindDeviceLine(const IniText& text, const std::string& line) {
  if (text.hasSection)
    for (size_t i = text.begin; i < text.end; ++i)
      if (SameText(Trimmed(text.lines[i]), line)) return i;
  return std::string::npos;
}

UndoOutcome WriteIniText(const std::string& file, const IniText& text) {
  try {
    platform::BufferedWriter out(file);
    for (const std::string& line : text.lines) out.WriteLine(line);
    out.Close();
  } catch (const std::exception& error) {
    return {UndoOutcome::Failed, error.what()};
  }
  return {};
}

UndoOutcome UndoDeviceLine(const UndoItem& item) {
  platform::FlushProfile(item.place);
  IniText text = ReadIniText(item.place);
  if (item.kind == K::DeviceAdded) {
    const size_t at = FindDeviceLine(text, item.name);
    if (at == std::string::npos) return {};
    text.lines.erase(text.lines.begin() + static_cast<std::ptrdiff_t>(at));
  } else if (!text.hasSection) {
    text.lines.push_back("[386Enh]");
    text.lines.push_back(item.name);
  } else {
    // After the section's last line that is not blank.
    size_t at = text.end;
    while (at > text.begin && Trimmed(text.lines[at - 1]).empty()) --at;
    text.lines.insert(text.lines.begin() + static_cast<std::ptrdiff_t>(at), item.name);
  }
  return WriteIniText(item.place, text);
}

}  // namespace

UndoState IniItemState(const UndoItem& item) {
  const IniKey name = SplitIniName(item.name);
  switch (item.kind) {
    case K::IniSectionAdded:
      return SectionExists(item.place, name.section) ? UndoState::AsAfter : UndoState::AlreadyUndone;
    case K::IniSectionDeleted:
      return SectionExists(item.place, name.section) ? UndoState::AlreadyUndone : UndoState::AsAfter;
    case K::DeviceAdded:
    case K::DeviceDeleted: {
      platform::FlushProfile(item.place);
      const bool present = FindDeviceLine(ReadIniText(item.place), item.name) != std::string::npos;
      return present == (item.kind == K::DeviceAdded) ? UndoState::AsAfter : UndoState::AlreadyUndone;
    }
    default:
      break;
  }
  const std::string now = platform::ReadProfileString(item.place, name.section, name.key);
  const std::string& after = item.kind == K::IniKeyDeleted ? std::string() : item.after.data;
  const std::string& before = item.kind == K::IniKeyAdded ? std::string() : item.before.data;
  if (now == after) return UndoState::AsAfter;
  if (now == before) return UndoState::AlreadyUndone;
  return UndoState::ChangedSince;
}

UndoOutcome UndoIniItem(const UndoItem& item) {
  const IniKey name = SplitIniName(item.name);
  bool done = true;
  switch (item.kind) {
    case K::IniKeyAdded:
      done = platform::EraseProfileKey(item.place, name.section, name.key);
      break;
    case K::IniKeyChanged:
    case K::IniKeyDeleted:
      done = platform::WriteProfileString(item.place, name.section, name.key, item.before.data);
      break;
    case K::IniSectionAdded:
      if (!platform::ProfileKeyNames(item.place, name.section).empty())
        return {UndoOutcome::Left, "it holds keys the install did not make"};
      done = platform::EraseProfileSection(item.place, name.section);
      break;
    case K::IniSectionDeleted:
      // Its keys came back before it; a section that had none is made empty.
      done = SectionExists(item.place, name.section) ||
             platform::MakeProfileSection(item.place, name.section);
      break;
    default:
      return UndoDeviceLine(item);
  }
  platform::FlushProfile(item.place);
  if (!done) return {UndoOutcome::Failed, "the INI file could not be written"};
  return {};
}

}  // namespace engines
