#pragma once
// Gathers the undo data of a comparison-mode report from the engines' result lists, step
// by step as the report is written, and writes it beside the report with the two REG
// files (engines/undo_data.h, engines/regfile.h).
#include <string>

#include "engines/undo_data.h"
#include "report/sections.h"

namespace report {

// One watched INI file's lists as its compare (with the device lines) left them, and for
// a changed file its byte for byte copy from before the install, if one was kept.
void AddIniUndoItems(engines::UndoData& data, const std::string& iniName, const WorkLists& lists,
                     const std::string& bytesCopy);
// The registry lists as the compare left them, before the report rewrites them. The data
// of added and changed values is read as it is now, just after the install, in full.
void AddRegistryUndoItems(engines::UndoData& data, const WorkLists& lists);
// The disk lists once the report's filters took out the program's own files.
void AddDiskUndoItems(engines::UndoData& data, const WorkLists& lists);
void AddFileTimeUndoItems(engines::UndoData& data, const WorkLists& lists);

// The undo folder and the two REG files beside the report; the copies of old files that
// items name are moved into the folder.
void WriteUndoFiles(engines::UndoData data);
// For a report that has no undo data: what an earlier report of that name left goes.
void DeleteUndoFiles(const std::string& reportName);

}  // namespace report
