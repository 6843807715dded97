#pragma once
// One undo of a report's install, as the command and the window both run it: the plan
// in words, the undo carried out, and the log beside the report.
#include <string>
#include <vector>

#include "engines/undo.h"

namespace report {

// The undo data of a report, checked against the report itself: it must be a report of
// this program, of the same mode, whose watched folders hold every folder the data
// watches and whose INI sections name every INI file it changes. Raises
// engines::UndoDataError naming the file (and line) at fault.
engines::UndoData ReadUndoDataOfReport(const std::string& reportPath);

// "2 to remove, 1 to restore, 3 that cannot be restored, 0 changed since the report"
std::string UndoPlanText(const engines::UndoPlan& plan);
// "5 undone, 0 left, 3 cannot be restored, 0 failed" (", 2 already as before" after the
// first count where some were), or that everything was already as before.
std::string UndoResultText(const engines::UndoResult& result);

// The log of one undo, added beside the report (RPT_0003.UNDO.TXT) when it ends, after
// the logs of earlier undos of the same report.
class UndoLog {
 public:
  explicit UndoLog(const std::string& reportPath);
  void Add(const std::string& line) { lines_.push_back(line); }
  // Writes the log; a log that cannot be written does not undo what was done.
  void Write() const;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::vector<std::string> lines_;
};

// Carries out the plan into the log and writes it; the last line is the result.
engines::UndoResult UndoWithLog(const engines::UndoPlan& plan, bool overwriteChanged,
                                UndoLog& log, const engines::UndoProgress& progress = nullptr);

}  // namespace report
