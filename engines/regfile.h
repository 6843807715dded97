#pragma once
// The registry changes of the undo data as two REGEDIT4 files that the registry editor
// imports: one takes the changes back, the other makes them again. Data that the undo
// data does not hold in full becomes a comment line, never a guess.
#include <string>

#include "engines/undo_data.h"

namespace engines {

// The text of the file (CR LF line ends); redo false for the undo file.
std::string RegEditText(const UndoData& data, bool redo);

// Writes both files (raises IoError).
void WriteRegEditFiles(const UndoData& data, const std::string& undoPath,
                       const std::string& redoPath);

}  // namespace engines
