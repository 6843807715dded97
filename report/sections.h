#pragma once
// The comparison sections of the report: engine result lists in, text blocks and CSV rows
// out. The filters take the system's own files and the swap and registry files out of
// the lists of files.
#include <array>
#include <string>
#include <vector>

#include "engines/lists.h"
#include "report/writer.h"

namespace report {

// The five work lists that the engines fill. What each holds depends on the section:
//   INI:       keys added, keys deleted, keys changed, sections added, sections deleted
//   registry:  keys added, keys deleted, values changed, values added, values deleted
//   disk:      added, deleted, changed, folders too deep for the listing
//   file time: added or changed
using WorkLists = std::array<engines::ResultList, 5>;
void ClearWorkLists(WorkLists& lists);

// One watched INI file's changes, as its compare (with the SYSTEM.INI device lines)
// left them in the lists. Clears the lists.
void WriteIniSection(ReportStreams& streams, const std::string& iniName, WorkLists& lists);
void WriteRegistrySection(ReportStreams& streams, WorkLists& lists);

// The files the program itself makes or owns, which no file section reports.
struct OwnFiles {
  std::string programFolder;          // lower case, trailing backslash
  std::string programPath;            // the program file
  std::string reportName;             // the report file
  std::string reportFolder;           // trailing backslash
  std::string tempFolder;             // trailing backslash
  std::vector<std::string> iniCopies; // the watched INI files' copies, before and after
};
void WriteDiskSection(ReportStreams& streams, WorkLists& lists, const OwnFiles& own);
void WriteFileTimeSection(ReportStreams& streams, WorkLists& lists, const OwnFiles& own);

// Turns the key paths of the value lists (2, 3, 4 in registry order) into report lines
// such as "key name=data (was old)"; entries without a registry record are dropped.
void FormatValueEntries(WorkLists& lists);

// Drops the swap and registry files of the system (the names in upper case only).
void DropSystemFiles(engines::ResultList& list);
void DropOwnFiles(engines::ResultList& list, const OwnFiles& own);

}  // namespace report
