#include "report/undo_run.h"

#include <windows.h>

#include <algorithm>

#include "engines/helpers.h"
#include "engines/ini.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "report/report_facts.h"

namespace report {
namespace {

// The canonical, lower-case form of each path; what is no plain path is dropped.
std::vector<std::string> CanonicalPlaces(const std::vector<std::string>& paths) {
  std::vector<std::string> places;
  for (const std::string& path : paths) {
    std::string canonical;
    if (platform::CanonicalDrivePath(path, canonical))
      places.push_back(engines::LowerAscii(canonical));
  }
  return places;
}

bool SameOrBelow(const std::string& place, const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    const std::string inside = engines::WithTrailingBackslash(folder);
    if (place == folder || place.compare(0, inside.size(), inside) == 0) return true;
  }
  return false;
}

bool IsIniKind(engines::UndoKind kind) { return kind >= engines::UndoKind::IniKeyAdded; }

}  // namespace

engines::UndoData ReadUndoDataOfReport(const std::string& reportPath) {
  ReportFacts facts;
  if (!ReadReportFacts(reportPath, facts))
    throw engines::UndoDataError(reportPath + ": this is not a report of Vortan4");
  const std::string items =
      engines::WithTrailingBackslash(engines::UndoPlacesOf(reportPath).folder) +
      engines::kUndoItemsFile;
  engines::UndoData data = engines::ReadUndoData(engines::UndoPlacesOf(reportPath).folder);
  auto refuse = [&](const std::string& what) {
    throw engines::UndoDataError(items + ": " + what + " (the report " + reportPath +
                                 " does not say so)");
  };
  if (data.mode != facts.trackMode) refuse("the tracking mode is not the report's");
  // Real-time tracking watches every drive; the comparisons, what the header lists.
  const std::vector<std::string> reportFolders = CanonicalPlaces(facts.watchedFolders);
  for (const std::string& folder : CanonicalPlaces(data.watchedFolders)) {
    if (facts.trackMode != session::tmReal && !SameOrBelow(folder, reportFolders))
      refuse("the folder " + folder + " is not a watched one");
  }
  std::vector<std::string> reportInis;
  for (const std::string& name : facts.iniFiles) reportInis.push_back(engines::IniFullPath(name));
  reportInis = CanonicalPlaces(reportInis);
  for (const engines::UndoItem& item : data.items) {
    if (IsIniKind(item.kind) && std::find(reportInis.begin(), reportInis.end(),
                                          engines::LowerAscii(item.place)) == reportInis.end())
      refuse("the INI file " + item.place + " is not one the report names");
  }
  return data;
}

std::string UndoPlanText(const engines::UndoPlan& plan) {
  return std::to_string(plan.toRemove) + " to remove, " + std::to_string(plan.toRestore) +
         " to restore, " + std::to_string(plan.cannotRestore) + " that cannot be restored, " +
         std::to_string(plan.changedSince) + " changed since the report";
}

std::string UndoResultText(const engines::UndoResult& result) {
  if (result.done == 0 && result.already > 0 && result.Complete())
    return "everything was already as before the install (" + std::to_string(result.already) +
           " items)";
  return std::to_string(result.done) + " undone, " +
         (result.already ? std::to_string(result.already) + " already as before, " : "") +
         std::to_string(result.left) + " left, " +
         std::to_string(result.cannot) + " cannot be restored, " +
         std::to_string(result.failed) + " failed";
}

UndoLog::UndoLog(const std::string& reportPath)
    : path_(engines::UndoPlacesOf(reportPath).log) {
  SYSTEMTIME time;
  GetLocalTime(&time);
  char now[32];
  wsprintfA(now, "%04u-%02u-%02u %02u:%02u:%02u", time.wYear, time.wMonth, time.wDay,
            time.wHour, time.wMinute, time.wSecond);
  Add("Undo of " + reportPath + ", " + now);
}

void UndoLog::Write() const {
  try {
    // Each undo adds to the log of the ones before, a blank line between.
    const bool earlier = GetFileAttributesA(path_.c_str()) != INVALID_FILE_ATTRIBUTES;
    platform::BufferedWriter out(path_, platform::BufferedWriter::Mode::Append);
    if (earlier) out.WriteLine("");
    for (const std::string& line : lines_) out.WriteLine(line);
    out.Close();
  } catch (const std::exception&) {
  }
}

engines::UndoResult UndoWithLog(const engines::UndoPlan& plan, bool overwriteChanged,
                                UndoLog& log, const engines::UndoProgress& progress) {
  log.Add("Found: " + UndoPlanText(plan));
  const engines::UndoResult result = engines::CarryOutUndo(
      plan, overwriteChanged, [&](const std::string& line) { log.Add(line); }, progress);
  log.Add("Result: " + UndoResultText(result));
  log.Write();
  return result;
}

}  // namespace report
