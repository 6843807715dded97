#include "report/sections.h"

#include <windows.h>

#include <algorithm>

#include "engines/disk.h"
#include "engines/helpers.h"
#include "engines/ini.h"
#include "engines/registry.h"

namespace report {
namespace {

enum Ini { kKeysAdded, kKeysDeleted, kKeysChanged, kSectionsAdded, kSectionsDeleted };
enum Registry { kRegKeysAdded, kRegKeysDeleted, kValuesChanged, kValuesAdded, kValuesDeleted };
enum Disk { kAdded, kDeleted, kChanged, kNotListed };

bool AllEmpty(const WorkLists& lists) {
  return std::all_of(lists.begin(), lists.end(), [](const auto& l) { return l.empty(); });
}

bool SameText(const std::string& a, const std::string& b) {
  return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// A key line "[section]key=value" in its parts; without "=" the key is empty and the
// whole text after the section is the value.
struct IniKeyLine {
  std::string section, key, value;
};
IniKeyLine SplitKeyLine(const std::string& line) {
  IniKeyLine parts;
  size_t close = line.find(']');
  if (close == std::string::npos) {
    parts.value = line;
    return parts;
  }
  parts.section = line.substr(0, close + 1);
  std::string rest = line.substr(close + 1);
  size_t equals = rest.find('=');
  if (equals == std::string::npos) {
    parts.value = rest;
  } else {
    parts.key = rest.substr(0, equals);
    parts.value = rest.substr(equals + 1);
  }
  return parts;
}

std::string FileNameOf(const std::string& path) {
  size_t cut = path.find_last_of("\\:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The equality of lstrcmpiA (the user's locale, case ignored), by sort keys: equal keys
// mean equal texts. Under Wine each lstrcmpiA converts both texts first; three of them
// for every entry of a long list cost more than all the rest of the disk section.
std::string SortKey(const std::string& text) {
  constexpr DWORD kFlags = LCMAP_SORTKEY | NORM_IGNORECASE;
  int size = LCMapStringA(LOCALE_USER_DEFAULT, kFlags, text.c_str(), -1, nullptr, 0);
  std::string key(size > 0 ? size : 0, '\0');
  if (size > 0) LCMapStringA(LOCALE_USER_DEFAULT, kFlags, text.c_str(), -1, &key[0], size);
  return key;
}

// The tests of DropOwnFiles with what they compare against made once, not per entry.
class OwnFileTest {
 public:
  explicit OwnFileTest(const OwnFiles& own)
      : own_(own),
        programFolder_(engines::LowerAscii(own.programFolder)),
        programStem_(ProgramStem(own.programPath)),
        tempFolder_(engines::LowerAscii(own.tempFolder)),
        reportNames_{engines::LowerAscii(own.reportName),
                     engines::LowerAscii(own.reportFolder + "EXTRARPT.CSV"),
                     engines::LowerAscii(own.reportFolder + "EXTRARPT.TXT")},
        reportKeys_{SortKey(own.reportName), SortKey(own.reportFolder + "EXTRARPT.CSV"),
                    SortKey(own.reportFolder + "EXTRARPT.TXT")} {}

  bool operator()(const std::string& entry) const {
    const std::string lower = engines::LowerAscii(entry);
    if (programFolder_.size() == 3 && programFolder_[1] == ':') {
      // A program kept in a drive root shares the folder with the whole drive.
      if (IsProgramFile(lower)) return true;
    } else if (!programFolder_.empty()) {
      if (lower.find(programFolder_) != std::string::npos) return true;
      // The program's folder itself: its time moves whenever the program writes its files.
      if (lower + '\\' == programFolder_) return true;
    }
    std::string key;  // made only for a name that may be a report's
    for (size_t i = 0; i < 3; ++i) {
      if (!MayBeSameText(lower, reportNames_[i])) continue;
      if (key.empty()) key = SortKey(entry);
      if (key == reportKeys_[i]) return true;
    }
    return IsSnapshotFile(entry, lower);
  }

 private:
  // "c:\vortan4.": the program, its settings and its help file share its name.
  static std::string ProgramStem(const std::string& programPath) {
    std::string lower = engines::LowerAscii(programPath);
    size_t dot = lower.find_last_of('.');
    size_t slash = lower.find_last_of('\\');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
    return lower.substr(0, dot + 1);
  }

  bool IsProgramFile(const std::string& lower) const {
    return !programStem_.empty() && lower.compare(0, programStem_.size(), programStem_) == 0 &&
           lower.find('\\', programStem_.size()) == std::string::npos;
  }

  bool IsSnapshotFile(const std::string& entry, const std::string& lower) const {
    if (tempFolder_.empty() || lower.find(tempFolder_) == std::string::npos) return false;
    size_t dot = entry.find_last_of('.');
    if (dot == std::string::npos) return false;
    std::string extension = entry.substr(dot);
    if (extension != ".$$1" && extension != ".$$2") return false;
    std::string name = FileNameOf(entry);
    if (name.size() < 4) return false;
    std::string base = name.substr(0, name.size() - 4);
    if (base == engines::kDiskListingBase || base == engines::kRegistryListingBase ||
        base == engines::kDeviceFileBase)
      return true;
    // The copies' names keep the watched files' names up to their last ".", whatever
    // their extension (app.cfg gives app.$$1), so they are compared whole.
    return std::any_of(own_.iniCopies.begin(), own_.iniCopies.end(),
                       [&](const std::string& copy) { return SameText(entry, copy); });
  }

  // Two texts of printable ASCII characters that differ other than in case are never
  // equal in any locale; anything else the sort keys decide.
  static bool MayBeSameText(const std::string& lower, const std::string& otherLower) {
    auto printable = [](const std::string& text) {
      return std::all_of(text.begin(), text.end(), [](char c) { return c >= ' ' && c <= '~'; });
    };
    return lower == otherLower || !printable(lower) || !printable(otherLower);
  }

  const OwnFiles& own_;
  const std::string programFolder_, programStem_, tempFolder_;
  const std::string reportNames_[3];  // lower case (A to Z)
  const std::string reportKeys_[3];
};

template <class Drop>
void RemoveEntries(engines::ResultList& list, Drop drop) {
  list.erase(std::remove_if(list.begin(), list.end(),
                            [&](const engines::ListEntry& e) { return drop(e); }),
             list.end());
}

void WriteFileRows(ReportStreams& streams, const engines::ResultList& list, const char* subType) {
  for (const engines::ListEntry& entry : list) streams.WriteCsvRow({"File", subType, entry.text});
}

}  // namespace

void ClearWorkLists(WorkLists& lists) {
  for (engines::ResultList& list : lists) list.clear();
}

void WriteIniSection(ReportStreams& streams, const std::string& iniName, WorkLists& lists) {
  if (AllEmpty(lists)) {
    streams.text.WriteLine("NO CHANGES MADE TO " + iniName + "...");
    streams.text.WriteLine("");
  } else {
    streams.text.WriteLine("CHANGES MADE TO " + iniName + "...");
    WriteSection(streams.text, lists[kSectionsAdded], "SECTIONS ADDED TO " + iniName + ": ");
    WriteSection(streams.text, lists[kSectionsDeleted], "SECTIONS DELETED FROM " + iniName + ": ");
    WriteSection(streams.text, lists[kKeysAdded], "KEYS ADDED TO " + iniName + ": ");
    WriteSection(streams.text, lists[kKeysDeleted], "KEYS DELETED FROM " + iniName + ": ");
    WriteSection(streams.text, lists[kKeysChanged], "KEYS CHANGED IN " + iniName + ": ");
  }
  streams.text.Flush();

  for (const engines::ListEntry& entry : lists[kSectionsAdded])
    streams.WriteCsvRow({"INI", "Add Section", iniName, entry.text});
  for (const engines::ListEntry& entry : lists[kSectionsDeleted])
    streams.WriteCsvRow({"INI", "Del Section", iniName, entry.text});
  for (const engines::ListEntry& entry : lists[kKeysAdded]) {
    IniKeyLine line = SplitKeyLine(entry.text);
    streams.WriteCsvRow({"INI", "Add Key", iniName, line.section, "", line.key, "", line.value});
  }
  for (const engines::ListEntry& entry : lists[kKeysDeleted]) {
    IniKeyLine line = SplitKeyLine(entry.text);
    streams.WriteCsvRow({"INI", "Del Key", iniName, line.section, "", line.key, "", line.value});
  }
  for (const engines::ListEntry& entry : lists[kKeysChanged]) {
    IniKeyLine line = SplitKeyLine(entry.text);
    size_t to = line.value.find("=to=");
    std::string before = to == std::string::npos ? line.value : line.value.substr(0, to);
    std::string after = to == std::string::npos ? "" : line.value.substr(to + 4);
    // Unlike registry rows, the value before the install comes first here.
    streams.WriteCsvRow({"INI", "Change Key", iniName, line.section, "", line.key, "", before, after});
  }
  streams.csv.Flush();
  ClearWorkLists(lists);
}

void FormatValueEntries(WorkLists& lists) {
  auto rewrite = [](engines::ResultList& list, auto format) {
    RemoveEntries(list, [](const engines::ListEntry& e) {
      return !std::holds_alternative<engines::RegObject>(e.item);
    });
    for (engines::ListEntry& entry : list)
      entry.text = format(entry.text, std::get<engines::RegObject>(entry.item));
  };
  rewrite(lists[kValuesAdded], [](const std::string& key, const engines::RegObject& value) {
    return key + " " + value.valueName + "=" + value.newData;
  });
  rewrite(lists[kValuesChanged], [](const std::string& key, const engines::RegObject& value) {
    if (value.oldData.empty()) return key + " " + value.valueName + "=" + value.newData + " (was <null>)";
    if (value.newData.empty()) return key + " " + value.valueName + "=<null> (was " + value.oldData + ")";
    return key + " " + value.valueName + "=" + value.newData + " (was " + value.oldData + ")";
  });
  rewrite(lists[kValuesDeleted], [](const std::string& key, const engines::RegObject& value) {
    return key + " " + value.valueName;
  });
}

void WriteRegistrySection(ReportStreams& streams, WorkLists& lists) {
  for (const engines::ListEntry& entry : lists[kRegKeysAdded])
    streams.WriteCsvRow({"Registry", "Add Key", "", "", entry.text});
  for (const engines::ListEntry& entry : lists[kRegKeysDeleted])
    streams.WriteCsvRow({"Registry", "Del Key", "", "", entry.text});
  auto valueRows = [&](int list, const char* subType, int columns) {
    for (const engines::ListEntry& entry : lists[list]) {
      const auto* value = std::get_if<engines::RegObject>(&entry.item);
      if (!value) continue;
      std::vector<std::string> row{"Registry", subType, "", "", entry.text, "", value->valueName,
                                   value->newData, value->oldData};
      row.resize(columns);
      streams.WriteCsvRow(row);
    }
  };
  valueRows(kValuesAdded, "Add Value", 8);
  valueRows(kValuesChanged, "Change Value", 9);
  valueRows(kValuesDeleted, "Del Value", 7);

  FormatValueEntries(lists);
  if (AllEmpty(lists)) {
    WriteNoChanges(streams.text, "NO CHANGES IN Registry");
    return;
  }
  WriteSection(streams.text, lists[kRegKeysAdded], "REGISTRY KEYS ADDED: ");
  WriteSection(streams.text, lists[kRegKeysDeleted], "REGISTRY KEYS DELETED: ");
  WriteSection(streams.text, lists[kValuesAdded], "REGISTRY KEY VALUES ADDED: ");
  WriteSection(streams.text, lists[kValuesChanged], "REGISTRY KEY VALUES CHANGED: ");
  WriteSection(streams.text, lists[kValuesDeleted], "REGISTRY KEY VALUES DELETED: ");
}

void WriteDiskSection(ReportStreams& streams, WorkLists& lists, const OwnFiles& own) {
  DropSystemFiles(lists[kChanged]);
  DropSystemFiles(lists[kAdded]);
  DropSystemFiles(lists[kDeleted]);
  DropOwnFiles(lists[kAdded], own);
  DropOwnFiles(lists[kChanged], own);
  DropOwnFiles(lists[kDeleted], own);
  if (lists[kAdded].empty() && lists[kDeleted].empty() && lists[kChanged].empty()) {
    WriteNoChanges(streams.text, "NO CHANGES IN TRACKED DISKS");
  } else {
    WriteSection(streams.text, lists[kAdded], "FILES AND DIRECTORIES ADDED: ");
    WriteSection(streams.text, lists[kDeleted], "FILES AND DIRECTORIES DELETED: ");
    WriteSection(streams.text, lists[kChanged], "FILES CHANGED: ");
  }
  // What lies in these the listing could not hold: the reader is told, never left to
  // take it for unchanged.
  WriteSection(streams.text, lists[kNotListed], "DIRECTORIES NOT TRACKED (TOO DEEP): ");
  streams.text.Flush();
  WriteFileRows(streams, lists[kAdded], "Add File/Dir");
  WriteFileRows(streams, lists[kDeleted], "Del File/Dir");
  WriteFileRows(streams, lists[kChanged], "Change File");
  for (const engines::ListEntry& entry : lists[kNotListed])
    streams.WriteCsvRow({"File", "Not tracked", entry.text, "", "", "", "", "too deep to list"});
  streams.csv.Flush();
}

void WriteFileTimeSection(ReportStreams& streams, WorkLists& lists, const OwnFiles& own) {
  engines::ResultList& newer = lists[0];
  DropSystemFiles(newer);
  DropOwnFiles(newer, own);
  if (newer.empty())
    WriteNoChanges(streams.text, "NO CHANGES IN TRACKED DISKS");
  else
    WriteSection(streams.text, newer, "FILES AND DIRECTORIES ADDED OR CHANGED: ");
  streams.text.Flush();
  WriteFileRows(streams, newer, "Newer");
  streams.csv.Flush();
}

void DropSystemFiles(engines::ResultList& list) {
  static const char* const kSystemFiles[] = {"386SPART.PAR", "WIN386.SWP", "PAGEFILE.SYS",
                                             "USER.DAT",     "USER.DA0",   "SYSTEM.DAT",
                                             "SYSTEM.DA0"};
  RemoveEntries(list, [](const engines::ListEntry& entry) {
    std::string name = FileNameOf(entry.text);
    return std::any_of(std::begin(kSystemFiles), std::end(kSystemFiles),
                       [&](const char* system) { return name == system; });
  });
}

void DropOwnFiles(engines::ResultList& list, const OwnFiles& own) {
  const OwnFileTest isOwn(own);
  RemoveEntries(list, [&](const engines::ListEntry& entry) { return isOwn(entry.text); });
}

}  // namespace report
