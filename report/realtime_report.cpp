#include "report/realtime_report.h"

#include <windows.h>

#include <algorithm>
#include <unordered_map>

#include "platform/directory.h"
#include "platform/ioerror.h"
#include "platform/system.h"
#include "realtime/backup_folder.h"
#include "realtime/processes.h"
#include "report/undo_realtime.h"

namespace report {
namespace {

// The registry lists in the slots the comparison uses, which FormatValueEntries expects.
enum RegistrySlot { kKeysAdded, kKeysDeleted, kValuesChanged, kValuesAdded, kValuesDeleted };
// The file lists in the order of their blocks.
enum FileSlot { kFilesAdded, kFilesDeleted, kFilesChanged, kDirsAdded, kDirsDeleted };

bool AllEmpty(const WorkLists& lists) {
  for (const engines::ResultList& list : lists)
    if (!list.empty()) return false;
  return true;
}

void TakeInto(engines::ResultList& slot, realtime::TrackingResults& found, unsigned index) {
  slot = std::move(found.lists[index]);
}

// "18:42:07.250", local time.
std::string ClockText(const FILETIME& utc) {
  FILETIME local;
  SYSTEMTIME time{};
  FileTimeToLocalFileTime(&utc, &local);
  FileTimeToSystemTime(&local, &time);
  char text[16];
  wsprintfA(text, "%02u:%02u:%02u.%03u", time.wHour, time.wMinute, time.wSecond,
            time.wMilliseconds);
  return text;
}

// What a note says of its process, after its name.
std::string NoteText(const realtime::ProcessNote& note) {
  if (note.kind == realtime::nkTracedLate)
    return "traced from " + ClockText(note.since) + "; earlier operations may be missing";
  // No system library to load the capture with: the system's own words ("Module not
  // found.") would tell the reader nothing.
  if (note.error == ERROR_MOD_NOT_FOUND)
    return "not traced: the operation capture could not be put into it, as it is a 64-bit "
           "program or was still starting";
  std::string why;
  switch (note.reason) {
    case realtime::nrNoAccess: why = "it could not be opened"; break;
    case realtime::nrNoCapture: why = "the operation capture could not be put into it"; break;
    case realtime::nrEnded: why = "it ended before it could be traced"; break;
  }
  if (note.error != 0) why += ": " + platform::SystemErrorText(note.error);
  return "not traced: " + why;
}

// The process names by id, the first entry of each id winning; a process traced late is
// marked where the text form names it, so the reader knows what may be missing.
class ProcessNames {
 public:
  ProcessNames(const engines::ResultList& processes, const std::vector<realtime::ProcessNote>& notes) {
    for (const engines::ListEntry& entry : processes)
      if (auto id = std::get_if<engines::ProcessId>(&entry.item)) names_.emplace(*id, entry.text);
    for (const realtime::ProcessNote& note : notes)
      if (note.kind == realtime::nkTracedLate) marks_.emplace(note.processId, NoteText(note));
  }
  std::string operator()(engines::ProcessId id) const {
    auto found = names_.find(id);
    return found == names_.end() ? "" : found->second;
  }
  std::string Line(engines::ProcessId id) const {
    auto mark = marks_.find(id);
    return mark == marks_.end() ? (*this)(id) : (*this)(id) + " (" + mark->second + ")";
  }

 private:
  std::unordered_map<engines::ProcessId, std::string> names_, marks_;
};

// Every process the driver could not fully see, first: the sections below may lack what
// they did.
void WriteProcessNotes(ReportStreams& streams, const std::vector<realtime::ProcessNote>& notes) {
  engines::ResultList lines;
  for (const realtime::ProcessNote& note : notes) {
    lines.push_back({note.name + " (" + NoteText(note) + ")", {}});
    streams.WriteCsvRow({"Process",
                         note.kind == realtime::nkTracedLate ? "Traced late" : "Not traced", "",
                         "", "", "", "", NoteText(note), "", note.name});
  }
  WriteSection(streams.text, lines, "PROCESSES NOT FULLY TRACED: ");
}

// No entries: "NO CHANGES IN ...", unless a process was not fully seen.
void WriteNothingSeen(ReportStreams& streams, const std::string& what, bool notesAbove) {
  if (notesAbove)
    WriteNoChanges(streams.text, "NO CHANGES SEEN IN " + what +
                                     " (the processes above were not fully traced)");
  else
    WriteNoChanges(streams.text, "NO CHANGES IN " + what);
}

engines::ProcessId ProcessOf(const engines::ListEntry& entry) {
  if (auto id = std::get_if<engines::ProcessId>(&entry.item)) return *id;
  if (auto record = std::get_if<engines::RegObject>(&entry.item)) return record->processId;
  return 0;
}

void WriteNotTracked(ReportStreams& streams, const std::string& why, const char* textLine,
                     const char* csvType) {
  streams.text.WriteLine(std::string(textLine) + why);
  streams.text.WriteLine("");
  streams.WriteCsvRow({csvType, "Not tracked", "", "", "", "", "", why, "", ""});
}

void WriteRegistryPart(ReportStreams& streams, WorkLists& lists, realtime::TrackingResults& found,
                       const ProcessNames& names) {
  TakeInto(lists[kKeysAdded], found, realtime::rlKeysAdded);
  TakeInto(lists[kKeysDeleted], found, realtime::rlKeysDeleted);
  TakeInto(lists[kValuesAdded], found, realtime::rlValuesAdded);
  TakeInto(lists[kValuesChanged], found, realtime::rlValuesChanged);
  TakeInto(lists[kValuesDeleted], found, realtime::rlValuesDeleted);

  auto rows = [&](int slot, const char* subType, bool name, bool data, bool previous) {
    for (const engines::ListEntry& entry : lists[slot]) {
      const auto* value = std::get_if<engines::RegObject>(&entry.item);
      if (!value) continue;
      streams.WriteCsvRow({"Registry", subType, "", "", entry.text, "", name ? value->valueName : "",
                      data ? value->newData : "", previous ? value->oldData : "",
                      names(value->processId)});
    }
  };
  rows(kKeysAdded, "Add Key", false, false, false);
  rows(kKeysDeleted, "Del Key", false, false, false);
  rows(kValuesAdded, "Add Value", true, true, false);
  rows(kValuesChanged, "Change Value", true, true, true);
  rows(kValuesDeleted, "Del Value", true, false, false);
  streams.csv.Flush();

  FormatValueEntries(lists);
  if (AllEmpty(lists)) {
    if (found.failure.empty())
      WriteNothingSeen(streams, "Registry", !found.notes.empty());
    else
      WriteNotTracked(streams, found.failure, "REGISTRY NOT TRACKED: ", "Registry");
  } else {
    auto block = [&](int slot, const char* heading) {
      WriteSection(streams.text, lists[slot], heading, Grouping::ByRecord,
                   [&](engines::ProcessId id) { return names.Line(id); });
    };
    block(kKeysAdded, "REGISTRY KEYS ADDED: ");
    block(kKeysDeleted, "REGISTRY KEYS DELETED: ");
    block(kValuesAdded, "REGISTRY KEY VALUES ADDED: ");
    block(kValuesChanged, "REGISTRY KEY VALUES CHANGED: ");
    block(kValuesDeleted, "REGISTRY KEY VALUES DELETED: ");
  }
  streams.text.Flush();
  streams.csv.Flush();
  ClearWorkLists(lists);
}

// Files changed or deleted whose old contents the capture could not copy (a full disk, a
// file another program held): the undo cannot put them back, which the reader learns now.
void WriteUncopiedFiles(ReportStreams& streams, const engines::UndoData& undo, size_t first) {
  engines::ResultList uncopied;
  for (size_t i = first; i < undo.items.size(); ++i) {
    const engines::UndoItem& item = undo.items[i];
    if ((item.kind == engines::UndoKind::FileDeleted || item.kind == engines::UndoKind::FileChanged) &&
        item.copy.copy.empty())
      uncopied.push_back({item.place, {}});
  }
  if (uncopied.empty()) return;
  WriteSection(streams.text, uncopied, "FILES AN UNDO CANNOT RESTORE (NO COPY BEFORE THE CHANGE): ");
  streams.text.Flush();
  for (const engines::ListEntry& entry : uncopied)
    streams.WriteCsvRow({"File", "No copy", entry.text, "", "", "", "", "", "", ""});
  streams.csv.Flush();
}

void WriteFilePart(ReportStreams& streams, WorkLists& lists, const OwnFiles& own,
                   realtime::TrackingResults& found, const ProcessNames& names,
                   engines::UndoData* undo) {
  TakeInto(lists[kFilesChanged], found, realtime::rlFilesChanged);
  TakeInto(lists[kFilesAdded], found, realtime::rlFilesAdded);
  TakeInto(lists[kFilesDeleted], found, realtime::rlFilesDeleted);
  TakeInto(lists[kDirsAdded], found, realtime::rlDirsAdded);
  TakeInto(lists[kDirsDeleted], found, realtime::rlDirsDeleted);
  VerifyChangedFiles(lists[kFilesChanged]);
  VerifyAddedFiles(lists[kFilesAdded]);
  VerifyDeletedFiles(lists[kFilesDeleted]);
  DropSystemFiles(lists[kFilesChanged]);
  DropSystemFiles(lists[kFilesDeleted]);
  DropSystemFiles(lists[kFilesAdded]);
  DropOwnFiles(lists[kFilesAdded], own);
  DropOwnFiles(lists[kFilesDeleted], own);
  DropOwnFiles(lists[kFilesChanged], own);

  static const char* const kHeadings[] = {"FILES ADDED: ", "FILES DELETED: ", "FILES CHANGED: ",
                                          "DIRECTORIES ADDED: ", "DIRECTORIES DELETED: "};
  static const char* const kSubTypes[] = {"Add File", "Del File", "Change File", "Add Dir",
                                          "Del Dir"};
  const bool untracked = AllEmpty(lists) && !found.failure.empty();
  if (untracked) {
    WriteNotTracked(streams, found.failure, "FILE SYSTEM NOT TRACKED: ", "File");
  } else if (AllEmpty(lists)) {
    WriteNothingSeen(streams, "file system", !found.notes.empty());
  } else {
    for (int slot = 0; slot < 5; ++slot)
      WriteSection(streams.text, lists[slot], kHeadings[slot], Grouping::ByIdentifier,
                   [&](engines::ProcessId id) { return names.Line(id); });
  }
  streams.text.Flush();
  for (int slot = 0; slot < 5; ++slot)
    for (const engines::ListEntry& entry : lists[slot])
      streams.WriteCsvRow({"File", kSubTypes[slot], entry.text, "", "", "", "", "", "",
                      names(ProcessOf(entry))});
  streams.csv.Flush();
  if (undo) {
    const size_t first = undo->items.size();
    AddRealTimeFileUndoItems(*undo, lists, own.tempFolder + realtime::kBackupFolderName);
    WriteUncopiedFiles(streams, *undo, first);
  }
  ClearWorkLists(lists);
}

template <class Drop>
void RemoveEntries(engines::ResultList& list, Drop drop) {
  list.erase(std::remove_if(list.begin(), list.end(), drop), list.end());
}

}  // namespace

std::string ProcessName(const engines::ResultList& processes, engines::ProcessId id) {
  return ProcessNames(processes, {})(id);
}

void VerifyChangedFiles(engines::ResultList& changed) {
  engines::ResultList kept;
  kept.reserve(changed.size());
  for (engines::ListEntry& entry : changed) {
    const auto* opened = std::get_if<engines::FilOpeObject>(&entry.item);
    if (!opened) continue;
    WIN32_FIND_DATAA found;
    if (!platform::FindEntry(entry.text, found)) continue;  // gone, or not to be looked up
    if (found.nFileSizeHigh == opened->sizeHigh && found.nFileSizeLow == opened->sizeLow &&
        found.ftLastWriteTime.dwLowDateTime == opened->writeTimeLow &&
        found.ftLastWriteTime.dwHighDateTime == opened->writeTimeHigh)
      continue;  // opened for writing but left as it was
    kept.push_back({std::move(entry.text), engines::ProcessId{opened->processId}});
  }
  changed = std::move(kept);
}

void VerifyAddedFiles(engines::ResultList& added) {
  RemoveEntries(added, [](const engines::ListEntry& e) { return !platform::FileExists(e.text); });
}

void VerifyDeletedFiles(engines::ResultList& deleted) {
  RemoveEntries(deleted, [](const engines::ListEntry& e) { return platform::FileExists(e.text); });
}

void WriteRealTimeReport(ReportStreams& streams, WorkLists& lists, const OwnFiles& own,
                         realtime::TrackingResults found, engines::UndoData* undo) {
  const ProcessNames names(found.processes, found.notes);
  WriteProcessNotes(streams, found.notes);
  WriteRegistryPart(streams, lists, found, names);
  WriteFilePart(streams, lists, own, found, names, undo);
  if (undo) AddRealTimeRegistryUndoItems(*undo, std::move(found.registryBefore));
}

}  // namespace report
