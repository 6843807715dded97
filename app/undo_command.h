#pragma once
// VORTAN4.EXE /UNDO <report file> [/Y]: undoes the install that a comparison-mode report
// recorded, from the undo data beside it, and says item by item in the log beside the
// report (RPT_0003.UNDO.TXT) what was done. /Y asks nothing: items changed since the
// report are left alone, and the messages go to the log and the standard error stream.
// Exit codes: 0 everything undone, 1 some items left or not restorable, 2 nothing done.
#include <string>
#include <vector>

namespace app {

constexpr int kUndoComplete = 0;
constexpr int kUndoPartial = 1;
constexpr int kUndoNothingDone = 2;

bool IsUndoCommand(const std::vector<std::string>& parameters);
int RunUndoCommand(const std::vector<std::string>& parameters);

}  // namespace app
