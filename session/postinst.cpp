#include "session/postinst.h"

#include <exception>
#include <iterator>

#include "engines/disk.h"
#include "engines/filetime.h"
#include "engines/ini.h"
#include "engines/registry.h"
#include "engines/together.h"
#include "platform/changes.h"
#include "platform/system.h"
#include "realtime/backup_folder.h"
#include "report/realtime_report.h"
#include "report/sections.h"
#include "report/undo_record.h"
#include "session/snapshots.h"

namespace session {

using namespace report;

namespace {

OwnFiles OwnFilesOf(const TrackingRun& run) {
  OwnFiles own;
  own.programFolder = run.programFolder;
  own.programPath = platform::ModulePath();
  own.reportName = run.reportName;
  own.reportFolder = run.reportFolder;
  own.tempFolder = run.tempFolder;
  const SnapshotNames names(run.tempFolder);
  for (const std::string& name : run.watchedInis) {
    own.iniCopies.push_back(names.Ini(name, When::Before));
    own.iniCopies.push_back(names.Ini(name, When::After));
    own.iniCopies.push_back(names.IniBytes(name));
  }
  return own;
}

void WriteIniSections(ReportStreams& streams, const TrackingRun& run, const StepDisplay& display,
                      WorkLists& lists, engines::UndoData& undo) {
  const SnapshotNames names(run.tempFolder);
  for (const std::string& name : run.watchedInis) {
    display.moveStatusEye(stIniCompare);
    display.showStatus(name);
    engines::CompareIniSnapshots(names.Ini(name, When::Before), names.Ini(name, When::After),
                                 lists[0], lists[1], lists[2], lists[3], lists[4]);
    if (engines::HasDeviceLines(name)) {
      display.showStatus("SYSTEM.INI devices");
      engines::CompareSystemIniDevices(names.Devices(When::Before), names.Devices(When::After),
                                       lists[0], lists[1], lists[2]);
    }
    AddIniUndoItems(undo, name, lists, names.IniBytes(name));
    WriteIniSection(streams, name, lists);
  }
}

}  // namespace

bool RecordsTogether(StatMask steps, When when) {
  return when == When::Before
             ? HasStep(steps, stRegistryBefore) && HasStep(steps, stDiskBefore)
             : HasStep(steps, stRegistryAfter) && HasStep(steps, stDiskAfter);
}

std::string CompanionName(const TrackingRun& run) {
  return run.reportFolder + (run.reportIsText ? "EXTRARPT.CSV" : "EXTRARPT.TXT");
}

void WritePostInstallReport(const TrackingRun& run, const StepDisplay& display,
                            realtime::TrackingResults found) {
  WorkLists lists;
  const std::string companion = CompanionName(run);
  ReportStreams streams(run.reportIsText ? run.reportName : companion,
                        run.reportIsText ? companion : run.reportName,
                        run.supplement ? platform::BufferedWriter::Mode::Append
                                       : platform::BufferedWriter::Mode::Create);
  if (run.supplement)
    WriteSupplementHeader(streams, run.header);
  else
    WriteReportHeader(streams, run.header);

  const OwnFiles own = OwnFilesOf(run);
  const SnapshotNames names(run.tempFolder);
  // A step whose bit is set moves the eye to its row; none starts once the program is
  // being closed, as the engines would stop at once and leave nonsense to compare.
  auto begins = [&](Step step) {
    if (!HasStep(run.statMask, step) || engines::AbortRequested()) return false;
    display.moveStatusEye(step);
    return true;
  };
  // What it takes to undo the install is kept beside the report.
  const bool keepsUndo = !run.supplement && (HasStep(run.statMask, stDiskCompare) ||
                                             HasStep(run.statMask, stFileTimes) ||
                                             HasStep(run.statMask, stRealTime));
  // Undo data that an earlier report of this name left would undo the wrong install.
  if (!run.supplement) DeleteUndoFiles(run.reportName);
  engines::UndoData undo;
  undo.report = run.reportName;
  undo.mode = run.header.trackMode;
  undo.watchedFolders = run.watchedFolders.entries;
  if (begins(stIniCompare)) WriteIniSections(streams, run, display, lists, undo);
  const engines::Walk registryWalk = [&](const engines::ProgressCallback& shown) {
    engines::SnapshotRegistry(names.RegistryBase(), SnapshotNames::Extension(When::After),
                              run.ignoredKeys, shown, display.registryError);
  };
  engines::ResultList notListed;  // the disk walk's folders too deep for the listing
  const engines::Walk diskWalk = [&](const engines::ProgressCallback& shown) {
    engines::SnapshotDisks(names.Disk(When::After), run.watchedFolders, shown, &notListed);
  };
  // Both recordings run at once where both take place; the compares and sections follow
  // in their own order.
  const bool together = RecordsTogether(run.statMask, When::After);
  std::exception_ptr diskFailure;  // passed on where the disk step would have begun
  if (begins(stRegistryAfter)) {
    if (together)
      diskFailure = engines::RunTogether(registryWalk, diskWalk, display.showStatus,
                                         [&] { display.moveStatusEye(stDiskAfter); });
    else
      registryWalk(display.showStatus);
  }
  if (begins(stRegistryCompare)) {
    engines::CompareRegistrySnapshots(names.Registry(When::Before), names.Registry(When::After),
                                      lists[0], lists[1], lists[2], lists[3], lists[4],
                                      display.showStatus);
    AddRegistryUndoItems(undo, lists);
    WriteRegistrySection(streams, lists);
    ClearWorkLists(lists);
  }
  if (diskFailure) std::rethrow_exception(diskFailure);
  if (!together && begins(stDiskAfter)) diskWalk(display.showStatus);
  lists[3].insert(lists[3].end(), std::make_move_iterator(notListed.begin()),
                  std::make_move_iterator(notListed.end()));
  if (begins(stDiskCompare)) {
    engines::CompareDiskSnapshots(names.Disk(When::Before), names.Disk(When::After), lists[0],
                                  lists[1], lists[2], display.showStatus);
    WriteDiskSection(streams, lists, own);
    AddDiskUndoItems(undo, lists);
    ClearWorkLists(lists);
  }
  if (begins(stFileTimes)) {
    engines::FindNewerFiles(lists[0], run.startTime, run.watchedFolders, display.showStatus);
    WriteFileTimeSection(streams, lists, own);
    AddFileTimeUndoItems(undo, lists);
    ClearWorkLists(lists);
  }
  if (begins(stRealTime)) WriteRealTimeReport(streams, lists, own, std::move(found), &undo);
  streams.text.Close();
  streams.csv.Close();
  if (keepsUndo && !engines::AbortRequested()) WriteUndoFiles(std::move(undo));
  // The copies of old files that the undo data does not need.
  const std::string copies = run.tempFolder + realtime::kBackupFolderName;
  platform::EmptyFolder(copies);
  platform::RemoveFolder(copies);
}

}  // namespace session
