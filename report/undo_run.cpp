#include "report/undo_run.h"

#include <windows.h>

#include "platform/textfile.h"

namespace report {

std::string UndoPlanText(const engines::UndoPlan& plan) {
  return std::to_string(plan.toRemove) + " to remove, " + std::to_string(plan.toRestore) +
         " to restore, " + std::to_string(plan.cannotRestore) + " that cannot be restored, " +
         std::to_string(plan.changedSince) + " changed since the report";
}

std::string UndoResultText(const engines::UndoResult& result) {
  return std::to_string(result.done) + " undone, " + std::to_string(result.left) + " left, " +
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
    platform::BufferedWriter out(path_);
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
