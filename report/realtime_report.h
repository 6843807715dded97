#pragma once
// The real-time sections of the report: the change lists the trap driver's records were
// decoded into, checked against the disk as it is now, filtered like the comparison
// sections, and written with the name of the process behind every change.
#include <string>

#include "engines/lists.h"
#include "engines/undo_data.h"
#include "realtime/records.h"
#include "report/sections.h"
#include "report/writer.h"

namespace report {

// The name of the first process list entry with that id; "" when there is none.
std::string ProcessName(const engines::ResultList& processes, engines::ProcessId id);

// Each removes the entries the disk does not bear out, walking from the last to the
// first. Changed files: gone now, or with the size and time they had when first opened;
// the survivors then carry their process id in place of the record.
void VerifyChangedFiles(engines::ResultList& changed);
void VerifyAddedFiles(engines::ResultList& added);      // the file is not there now
void VerifyDeletedFiles(engines::ResultList& deleted);  // the file is there again

// Takes what tracking found into the work lists and writes the processes not fully traced,
// the registry section, then the file-system section, in both forms. When tracking could
// not start, both sections say so and why, instead of reporting no changes.
// With undo, what it takes to undo the changes is added to it.
void WriteRealTimeReport(ReportStreams& streams, WorkLists& lists, const OwnFiles& own,
                         realtime::TrackingResults found, engines::UndoData* undo = nullptr);

}  // namespace report
