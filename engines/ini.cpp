#include "engines/ini.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "engines/helpers.h"
#include "engines/names.h"
#include "platform/changes.h"
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
// Longer than any line of a copy: a section name, a key name and a value with the
// brackets and the "=".
constexpr size_t kLongestLine = 2 * kNameListBytes + kValueBytes;

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

// The lines of a copy or device file, which may be missing, one at a time. They are ours
// and wait in a folder that other programs can write to: a line without its CR LF, or
// longer than any that the snapshot writes, is damage.
class WrittenLines {
 public:
  explicit WrittenLines(const std::string& path) : path_(path), file_(OpenIfPresent(path)) {}

  bool Next(std::string& line) {
    if (!file_) return false;
    ++lineNumber_;
    switch (file_->ReadWrittenLine(line, kLongestLine)) {
      case platform::BufferedReader::Read::Line: return true;
      case platform::BufferedReader::Read::End: return false;
      case platform::BufferedReader::Read::Damaged: break;
    }
    Damaged();
  }
  // The line last read cannot be what the snapshot wrote.
  [[noreturn]] void Damaged() const { platform::ThrowDamagedLine(path_, lineNumber_); }

 private:
  std::string path_;
  std::optional<platform::BufferedReader> file_;
  unsigned long lineNumber_ = 0;
};

struct IniRecord {
  std::string line;
  std::string section;
  bool isSection = true;
  std::string key;
  std::string value;
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

// Reads the records of a copy. A key line is known by the section line before it, so
// that a "]" or "=" inside a section name cannot split the line in the wrong place.
// Records must come in the order the copy is written in: out of order, the merge would
// report them deleted on one side and added on the other.
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
    next_.section = record_.section;
    const std::string prefix = "[" + next_.section + "]";
    size_t equals = line.find('=', prefix.size());
    if (started_ && line.compare(0, prefix.size(), prefix) == 0 && equals != std::string::npos) {
      next_.isSection = false;
      next_.key = line.substr(prefix.size(), equals - prefix.size());
      next_.value = line.substr(equals + 1);
    } else {
      if (line.size() < 2 || line.front() != '[' || line.back() != ']') lines_.Damaged();
      next_.section = line.substr(1, line.size() - 2);
      next_.isSection = true;
      next_.key.clear();
      next_.value.clear();
    }
    if (started_ && CompareRecords(record_, next_) >= 0) lines_.Damaged();
    next_.line = std::move(line);
    std::swap(record_, next_);
    started_ = true;
  }

 private:
  WrittenLines lines_;
  IniRecord record_;
  IniRecord next_;
  bool started_ = false;
  bool exhausted_ = false;
};

// The lines of a device file, checked as they come: each holds "device=", and none sorts
// before the line above it.
class DeviceReader {
 public:
  explicit DeviceReader(const std::string& path) : lines_(path) {}
  bool Next(std::string& line) {
    if (!lines_.Next(line)) return false;
    if (LowerAscii(line).find("device=") == std::string::npos ||
        (started_ && NameBefore(line, previous_)))
      lines_.Damaged();
    previous_ = line;
    started_ = true;
    return true;
  }

 private:
  WrittenLines lines_;
  std::string previous_;
  bool started_ = false;
};

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
  std::optional<platform::BufferedReader> ini = OpenIfPresent(iniPath);
  std::string line;
  bool inSection = false;
  while (ini && ini->ReadLine(line)) {
    line = TrimBlanks(line);
    if (!inSection) {
      inSection = LowerAscii(line) == LowerAscii(kDeviceSectionLine);
    } else if (!line.empty() && line[0] == '[') {
      break;
    } else if (LowerAscii(line).find("device=") != std::string::npos) {
      // Cut to what the device file may hold; no real device line comes near it.
      devices.push_back(line.substr(0, kLongestLine));
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
  DeviceReader before(beforeDevices);
  DeviceReader after(afterDevices);
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

bool HasDeviceLines(const std::string& name) {
  return LowerAscii(name).find("system.ini") != std::string::npos;
}

bool SnapshotWatchedIniFiles(const std::vector<std::string>& names, const std::string& tempFolder,
                             const std::string& extension, const ProgressCallback& progress) {
  for (const std::string& name : names) {
    if (progress) progress(name);
    SnapshotIniFile(name, tempFolder, extension);
    if (std::string(extension) == ".$$1") {
      const std::string bytes = IniCopyPath(name, tempFolder, kIniBytesExtension);
      platform::DeleteFileIfPresent(bytes);
      platform::CopyFileOver(IniFullPath(name), bytes);
    }
    if (HasDeviceLines(name)) {
      if (progress) progress("SYSTEM.INI devices");
      SnapshotSystemIniDevices(name, tempFolder + kDeviceFileBase + extension);
    }
    if (AbortRequested()) return false;
  }
  return true;
}

}  // namespace engines
