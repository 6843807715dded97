#pragma once
// Undoing an install from its undo data: every change taken back where the data holds
// what was there before. Two steps: the plan reads the machine and changes nothing, so
// the caller can show what will happen and ask; then the plan is carried out item by
// item, each line of the log saying what was done.
#include <functional>
#include <string>
#include <vector>

#include "engines/undo_data.h"

namespace engines {

enum class UndoAction {
  Remove,         // an added item goes
  Restore,        // a changed or deleted item gets its old state back
  CannotRestore,  // the data does not hold the old state (file contents, folded data)
};

// The item as it stands now, against the state recorded after the install.
enum class UndoState {
  AsAfter,        // as the install left it: the undo goes ahead
  ChangedSince,   // changed since the report: left alone unless the user says otherwise
  AlreadyUndone,  // already as before the install
};

struct UndoStep {
  UndoItem item;
  UndoAction action = UndoAction::Remove;
  UndoState state = UndoState::AsAfter;
};

struct UndoPlan {
  std::vector<UndoStep> steps;  // in the order they are carried out
  int toRemove = 0;      // as after the install, to be removed
  int toRestore = 0;     // as after the install, to be restored
  int cannotRestore = 0;
  int changedSince = 0;
};

// Reads the machine for every item; changes nothing.
UndoPlan PlanUndo(const UndoData& data);

struct UndoResult {
  int done = 0;      // removed or restored
  int already = 0;   // found as before the install already
  int left = 0;      // changed since and not overwritten, or not empty
  int cannot = 0;    // not restorable from the data
  int failed = 0;    // the system refused
  bool Complete() const { return left == 0 && cannot == 0 && failed == 0; }
};

// One line for the log per item ("removed: ...", "left, changed since: ...").
using UndoLog = std::function<void(const std::string& line)>;
// Called before each step with its number and the count, for a progress bar.
using UndoProgress = std::function<void(size_t step, size_t count)>;

// Carries out the plan. Items changed since are overwritten only with overwriteChanged.
UndoResult CarryOutUndo(const UndoPlan& plan, bool overwriteChanged, const UndoLog& log,
                        const UndoProgress& progress = nullptr);

// What the log and the summary call an item: "value HKEY_...\Key Name", "file c:\x".
std::string DescribeUndoItem(const UndoItem& item);

// What became of one item: done, left (it holds what the install did not make), or
// refused by the system; why says which, for the log.
struct UndoOutcome {
  enum Kind { Done, Left, Failed } kind = Done;
  std::string why;
};

// INI items: their state now, and the change that takes them back.
UndoState IniItemState(const UndoItem& item);
UndoOutcome UndoIniItem(const UndoItem& item);

}  // namespace engines
