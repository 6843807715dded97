#include "engines/ini.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "engines/helpers.h"
#include "engines/names.h"
#include "platform/ioerror.h"
#include "platform/profile.h"
#include "platform/system.h"
#include "platform/textfile.h"

namespace engines {
namespace {

// The profile functions' lists of names were read into buffers of this size, and values
// into buffers of 2,048 bytes (2,047 characters).
constexpr size_t kNameListBytes = 16384;
constexpr size_t kValueBytes = 2048;

const char kDeviceSectionLine[] = "[386Enh]";
const char kDeviceEntryPrefix[] = "[386enh]device=";

bool NameBefore(const std::string& a, const std::string& b) { return CompareIniNames(a, b) < 0; }

// Sorted, each name once; of names differing only in case the first listed stays.
std::vector<std::string> SortedNames(std::vector<std::string> names) {
  std::stable_sort(names.begin(), names.end(), NameBefore);
  names.erase(std::unique(names.begin(), names.end(),
                          [](const std::string& a, const std::string& b) {
                            return CompareIniNames(a, b) == 0;
                          }),
              names.end());
  return names;
}

bool HasFolder(const std::string& name) { return name.find_first_of("\\/:") != std::string::npos; }

std::string TrimBlanks(const std::string& text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// No reader when the file (or its folder) does not exist; other failures raise.
std::optional<platform::BufferedReader> OpenIfPresent(const std::string& path) {
  try {
    return platform::BufferedReader(path);
  } catch (const platform::IoError& error) {
    if (error.Code() == ERROR_FILE_NOT_FOUND || error.Code() == ERROR_PATH_NOT_FOUND)
      return std::nullopt;
    throw;
  }
}

// The lines of a file that may be missing, one at a time.
class LineSource {
 public:
  explicit LineSource(const std::string& path) : file_(OpenIfPresent(path)) {}
  bool Next(std::string& line) { return file_ && file_->ReadLine(line); }

 private:
  std::optional<platform::BufferedReader> file_;
};

struct IniRecord {
  std::string line;
  std::string section;
  bool isSection = true;
  std::string key;
  std::string value;
};

// Reads the records of a copy. A key line is known by the section line before it, so
// that a "]" or "=" inside a section name cannot split the line in the wrong place.
class CopyReader {
 public:
  explicit CopyReader(const std::string& path) : lines_(path) { Next(); }
  bool Exhausted() const { return exhausted_; }
  const IniRecord& Record() const { return record_; }

  void Next() {
    std::string line;
    if (!lines_.Next(line)) {
      exhausted_ = true;
      return;
    }
    const std::string prefix = "[" + record_.section + "]";
    size_t equals = line.find('=', prefix.size());
    if (started_ && line.compare(0, prefix.size(), prefix) == 0 && equals != std::string::npos) {
      record_.isSection = false;
      record_.key = line.substr(prefix.size(), equals - prefix.size());
      record_.value = line.substr(equals + 1);
    } else {
      size_t close = line.rfind(']');
      record_.section = close != std::string::npos && close > 0 ? line.substr(1, close - 1) : line;
      record_.isSection = true;
      record_.key.clear();
      record_.value.clear();
    }
    record_.line = std::move(line);
    started_ = true;
  }

 private:
  LineSource lines_;
  IniRecord record_;
  bool started_ = false;
  bool exhausted_ = false;
};

bool SameKey(const IniRecord& a, const IniRecord& b) {
  return a.isSection == b.isSection && CompareIniNames(a.section, b.section) == 0 &&
         CompareIniNames(a.key, b.key) == 0;
}

// The order the copies are written in: by section, the section line first, then by key;
// values (one per key) in byte order.
int CompareRecords(const IniRecord& a, const IniRecord& b) {
  if (int order = CompareIniNames(a.section, b.section)) return order;
  if (a.isSection != b.isSection) return a.isSection ? -1 : 1;
  if (int order = CompareIniNames(a.key, b.key)) return order;
  return a.value.compare(b.value);
}

void WriteIniCopy(const std::string& iniPath, const std::string& copyPath) {
  platform::BufferedWriter copy(copyPath);
  for (const std::string& section :
       SortedNames(platform::ProfileSectionNames(iniPath, kNameListBytes))) {
    const std::string sectionLine = "[" + section + "]";
    copy.WriteLine(sectionLine);
    for (const std::string& key :
         SortedNames(platform::ProfileKeyNames(iniPath, section, kNameListBytes))) {
      std::string value = platform::ReadProfileString(iniPath, section, key, "", kValueBytes);
      if (!value.empty()) copy.WriteLine(sectionLine + key + "=" + value);
    }
  }
  copy.Close();
}

std::vector<std::string> ReadDeviceLines(const std::string& iniPath) {
  std::vector<std::string> devices;
  LineSource ini(iniPath);
  std::string line;
  bool inSection = false;
  while (ini.Next(line)) {
    line = TrimBlanks(line);
    if (!inSection) {
      inSection = LowerAscii(line) == LowerAscii(kDeviceSectionLine);
    } else if (!line.empty() && line[0] == '[') {
      break;
    } else if (LowerAscii(line).find("device=") != std::string::npos) {
      devices.push_back(line);
    }
  }
  return devices;
}

void RemoveDeviceEntries(ResultList& list) {
  const std::string prefix = kDeviceEntryPrefix;
  list.erase(std::remove_if(list.begin(), list.end(),
                            [&](const ListEntry& entry) {
                              return LowerAscii(entry.text.substr(0, prefix.size())) == prefix;
                            }),
             list.end());
}

}  // namespace

std::string IniCopyName(const std::string& fullPath) {
  std::string name = fullPath;
  std::replace(name.begin(), name.end(), ':', '_');
  std::replace(name.begin(), name.end(), '\\', '_');
  return name;
}

std::string IniFullPath(const std::string& name) {
  return HasFolder(name) ? name : WithTrailingBackslash(platform::WindowsFolder()) + name;
}

std::string IniCopyPath(const std::string& name, const std::string& tempFolder,
                        const std::string& extension) {
  std::string copyName = IniCopyName(IniFullPath(name));
  return WithTrailingBackslash(tempFolder) + copyName.substr(0, copyName.rfind('.')) + extension;
}

void SnapshotIniFile(const std::string& name, const std::string& tempFolder,
                     const std::string& extension, const ProgressCallback& progress) {
  if (AbortRequested()) return;
  const std::string iniPath = IniFullPath(name);
  const std::string copyPath = IniCopyPath(name, tempFolder, extension);
  if (progress) progress(iniPath);
  if (platform::FileExists(iniPath)) {
    WriteIniCopy(iniPath, copyPath);
  } else if (!platform::DeleteFileIfPresent(copyPath)) {
    // A copy left by an earlier run would be compared as if it were this file.
    platform::ThrowLastError("Cannot delete", copyPath);
  }
}

void SnapshotSystemIniDevices(const std::string& iniName, const std::string& deviceFile) {
  std::vector<std::string> devices = ReadDeviceLines(IniFullPath(iniName));
  std::stable_sort(devices.begin(), devices.end(), NameBefore);
  platform::BufferedWriter file(deviceFile);
  for (const std::string& device : devices) file.WriteLine(device);
  file.Close();
}

void CompareIniSnapshots(const std::string& beforeCopy, const std::string& afterCopy,
                         ResultList& keysAdded, ResultList& keysDeleted, ResultList& keysChanged,
                         ResultList& sectionsAdded, ResultList& sectionsDeleted) {
  for (ResultList* list : {&keysAdded, &keysDeleted, &keysChanged, &sectionsAdded, &sectionsDeleted})
    list->clear();
  CopyReader before(beforeCopy);
  CopyReader after(afterCopy);
  while (!before.Exhausted() || !after.Exhausted()) {
    // An exhausted copy orders after every record.
    int order = after.Exhausted()    ? -1
                : before.Exhausted() ? 1
                                     : CompareRecords(before.Record(), after.Record());
    if (order == 0) {
      before.Next();
      after.Next();
    } else if (!before.Exhausted() && !after.Exhausted() &&
               SameKey(before.Record(), after.Record())) {
      keysChanged.push_back({before.Record().line + "=to=" + after.Record().value, {}});
      before.Next();
      after.Next();
    } else if (order < 0) {
      const IniRecord& record = before.Record();
      (record.isSection ? sectionsDeleted : keysDeleted).push_back({record.line, {}});
      before.Next();
    } else {
      const IniRecord& record = after.Record();
      (record.isSection ? sectionsAdded : keysAdded).push_back({record.line, {}});
      after.Next();
    }
  }
}

void CompareSystemIniDevices(const std::string& beforeDevices, const std::string& afterDevices,
                             ResultList& keysAdded, ResultList& keysDeleted,
                             ResultList& keysChanged) {
  for (ResultList* list : {&keysAdded, &keysDeleted, &keysChanged}) RemoveDeviceEntries(*list);
  LineSource before(beforeDevices);
  LineSource after(afterDevices);
  std::string beforeLine, afterLine;
  bool haveBefore = before.Next(beforeLine);
  bool haveAfter = after.Next(afterLine);
  while (haveBefore || haveAfter) {
    int order = !haveAfter ? -1 : !haveBefore ? 1 : CompareIniNames(beforeLine, afterLine);
    if (order <= 0) {
      if (order < 0) keysDeleted.push_back({kDeviceSectionLine + beforeLine, {}});
      haveBefore = before.Next(beforeLine);
    }
    if (order >= 0) {
      if (order > 0) keysAdded.push_back({kDeviceSectionLine + afterLine, {}});
      haveAfter = after.Next(afterLine);
    }
  }
}

bool SnapshotWatchedIniFiles(const std::vector<std::string>& names, const std::string& tempFolder,
                             const std::string& extension, const ProgressCallback& progress) {
  for (const std::string& name : names) {
    if (progress) progress(name);
    SnapshotIniFile(name, tempFolder, extension);
    if (name.find("system.ini") != std::string::npos) {
      if (progress) progress("SYSTEM.INI devices");
      SnapshotSystemIniDevices(name, tempFolder + kDeviceFileBase + extension);
    }
    if (AbortRequested()) return false;
  }
  return !AbortRequested();
}

}  // namespace engines
