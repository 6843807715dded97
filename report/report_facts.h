#pragma once
// What a report file on disk says of its session, read back from either form: for the
// jobs that act on a report later (undo, package), which trust the report the user chose
// over the data kept beside it.
#include <string>
#include <vector>

#include "engines/package.h"
#include "report/session.h"

namespace report {

struct ReportFacts {
  std::string description;                 // "Installation report: <this>"
  std::string installProgram;
  session::TrackMode trackMode = session::tmNone;
  std::vector<std::string> watchedFolders;  // as the header lists them
  std::vector<std::string> iniFiles;        // every INI file a section names
};

// False when the file cannot be read or is not a report of this program.
bool ReadReportFacts(const std::string& reportPath, ReportFacts& facts);

// This machine's folders and keys for a package of the report, which is named as the
// installation the report describes.
engines::PackageContext PackageContextOf(const std::string& reportPath);

}  // namespace report
