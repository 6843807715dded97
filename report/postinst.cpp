#include "report/postinst.h"

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

namespace report {
namespace {

constexpr char kBefore[] = ".$$1";
constexpr char kAfter[] = ".$$2";

OwnFiles OwnFilesOf(const TrackingRun& run) {
  OwnFiles own;
  own.programFolder = run.programFolder;
  own.programPath = platform::ModulePath();
  own.reportName = run.reportName;
  own.reportFolder = run.reportFolder;
  own.tempFolder = run.tempFolder;
  for (const std::string& name : run.watchedInis)
    for (const char* extension : {kBefore, kAfter, engines::kIniBytesExtension})
      own.iniCopies.push_back(engines::IniCopyPath(name, run.tempFolder, extension));
  return own;
}

void WriteIniSections(ReportStreams& streams, const TrackingRun& run, const StepDisplay& display,
                      WorkLists& lists, engines::UndoData& undo) {
  const std::string devices = run.tempFolder + engines::kDeviceFileBase;
  for (const std::string& name : run.watchedInis) {
    display.moveStatusEye(session::stIniCompare);
    display.showStatus(name);
    engines::CompareIniSnapshots(engines::IniCopyPath(name, run.tempFolder, kBefore),
                                 engines::IniCopyPath(name, run.tempFolder, kAfter), lists[0],
                                 lists[1], lists[2], lists[3], lists[4]);
    if (engines::HasDeviceLines(name)) {
      display.showStatus("SYSTEM.INI devices");
      engines::CompareSystemIniDevices(devices + kBefore, devices + kAfter, lists[0], lists[1],
                                       lists[2]);
    }
    AddIniUndoItems(undo, name, lists,
                    engines::IniCopyPath(name, run.tempFolder, engines::kIniBytesExtension));
    WriteIniSection(streams, name, lists);
  }
}

}  // namespace

std::string CompanionName(const TrackingRun& run) {
  return run.reportFolder + (run.reportIsText ? "EXTRARPT.CSV" : "EXTRARPT.TXT");
}

void WritePostInstallReport(const TrackingRun& run, const StepDisplay& display) {
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
  const std::string registry = run.tempFolder + engines::kRegistryListingBase;
  const std::string disk = run.tempFolder + engines::kDiskListingBase;
  // A step whose bit is set moves the eye to its row; none starts once the program is
  // being closed, as the engines would stop at once and leave nonsense to compare.
  auto begins = [&](session::Step step) {
    if (!session::HasStep(run.statMask, step) || engines::AbortRequested()) return false;
    display.moveStatusEye(step);
    return true;
  };
  // What it takes to undo the install is kept beside the report.
  const bool keepsUndo = !run.supplement && (session::HasStep(run.statMask, session::stDiskCompare) ||
                                             session::HasStep(run.statMask, session::stFileTimes) ||
                                             session::HasStep(run.statMask, session::stRealTime));
  // Undo data that an earlier report of this name left would undo the wrong install.
  if (!run.supplement) DeleteUndoFiles(run.reportName);
  engines::UndoData undo;
  undo.report = run.reportName;
  undo.mode = run.header.trackMode;
  undo.watchedFolders = run.watchedFolders.entries;
  if (begins(session::stIniCompare)) WriteIniSections(streams, run, display, lists, undo);
  const engines::Walk registryWalk = [&](const engines::ProgressCallback& shown) {
    engines::SnapshotRegistry(registry, kAfter, run.ignoredKeys, shown, display.registryError);
  };
  engines::ResultList notListed;  // the disk walk's folders too deep for the listing
  const engines::Walk diskWalk = [&](const engines::ProgressCallback& shown) {
    engines::SnapshotDisks(disk + kAfter, run.watchedFolders, shown, &notListed);
  };
  // Both recordings run at once where both take place; the compares and sections follow
  // in their own order.
  const bool together = session::HasStep(run.statMask, session::stRegistryAfter) &&
                        session::HasStep(run.statMask, session::stDiskAfter);
  std::exception_ptr diskFailure;  // passed on where the disk step would have begun
  if (begins(session::stRegistryAfter)) {
    if (together)
      diskFailure = engines::RunTogether(registryWalk, diskWalk, display.showStatus,
                                         [&] { display.moveStatusEye(session::stDiskAfter); });
    else
      registryWalk(display.showStatus);
  }
  if (begins(session::stRegistryCompare)) {
    engines::CompareRegistrySnapshots(registry + kBefore, registry + kAfter, lists[0], lists[1],
                                      lists[2], lists[3], lists[4], display.showStatus);
    AddRegistryUndoItems(undo, lists);
    WriteRegistrySection(streams, lists);
    ClearWorkLists(lists);
  }
  if (diskFailure) std::rethrow_exception(diskFailure);
  if (!together && begins(session::stDiskAfter)) diskWalk(display.showStatus);
  lists[3].insert(lists[3].end(), std::make_move_iterator(notListed.begin()),
                  std::make_move_iterator(notListed.end()));
  if (begins(session::stDiskCompare)) {
    engines::CompareDiskSnapshots(disk + kBefore, disk + kAfter, lists[0], lists[1], lists[2],
                                  display.showStatus);
    WriteDiskSection(streams, lists, own);
    AddDiskUndoItems(undo, lists);
    ClearWorkLists(lists);
  }
  if (begins(session::stFileTimes)) {
    engines::FindNewerFiles(lists[0], run.startTime, run.watchedFolders, display.showStatus);
    WriteFileTimeSection(streams, lists, own);
    AddFileTimeUndoItems(undo, lists);
    ClearWorkLists(lists);
  }
  if (begins(session::stRealTime)) WriteRealTimeReport(streams, lists, own, &undo);
  streams.text.Close();
  streams.csv.Close();
  if (keepsUndo && !engines::AbortRequested()) WriteUndoFiles(std::move(undo));
  // The copies of old files that the undo data does not need.
  const std::string copies = run.tempFolder + realtime::kBackupFolderName;
  platform::EmptyFolder(copies);
  platform::RemoveFolder(copies);
}

}  // namespace report
