#pragma once
// Gathers the undo data of a real-time report: the file lists as the report wrote them,
// with the copies the capture took of files before their first change, and each registry
// value and key as its first record found it, against the machine as it is now.
#include <string>

#include "engines/undo_data.h"
#include "realtime/records.h"
#include "report/sections.h"

namespace report {

// The file lists in the order of the real-time report's blocks: files added, deleted,
// changed; folders added, deleted. copies: the folder the capture copied into.
void AddRealTimeFileUndoItems(engines::UndoData& data, const WorkLists& lists,
                              const std::string& copies);
void AddRealTimeRegistryUndoItems(engines::UndoData& data, const realtime::RegistryBefore& before);

}  // namespace report
