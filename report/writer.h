#pragma once
// The two forms of the installation report, written together: text lines for people and
// comma-separated rows for spreadsheets. Both are ANSI text with CR LF line ends.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "engines/lists.h"
#include "platform/textfile.h"
#include "report/session.h"

namespace report {

// Every value quoted, inner quotes doubled, joined by commas: "a","b ""c""","".
std::string CsvRow(const std::vector<std::string>& values);

// 1 "Real-time reporting", 2 "File-time comparison", 3 "Disk contents comparison".
std::string TrackModeText(session::TrackMode trackMode);

// The FileVersion text of the program's own version information, or "".
std::string GetFileVersionText();

// The pair of open report files, named by their form.
struct ReportStreams {
  ReportStreams(const std::string& textPath, const std::string& csvPath,
                platform::BufferedWriter::Mode mode);
  void WriteCsvRow(const std::vector<std::string>& values) { csv.WriteLine(CsvRow(values)); }
  platform::BufferedWriter text;
  platform::BufferedWriter csv;
};

// What the headers tell about the session.
struct HeaderFacts {
  std::string description;
  std::string installProgram;
  std::string versionText;
  std::string windowsText;
  session::TrackMode trackMode = session::tmDisk;
  session::TwoPhase twoPhase = session::tpNone;
  session::InstallType installType = session::itNone;
  std::vector<std::string> watchedFolders;
  SYSTEMTIME now{};     // local time
};

void WriteReportHeader(ReportStreams& streams, const HeaderFacts& facts);
void WriteSupplementHeader(ReportStreams& streams, const HeaderFacts& facts);

// How the entries of a block name the process that made them.
enum class Grouping {
  None,
  ByRecord,      // the process id of the attached record
  ByIdentifier,  // the attached item is the process id
};
using ProcessNamer = std::function<std::string(engines::ProcessId)>;

// A heading with the count, the entries (with a "---by process" line where the process
// changes) and an empty line; nothing at all for an empty list.
void WriteSection(platform::BufferedWriter& text, const engines::ResultList& list,
                  const std::string& heading, Grouping grouping = Grouping::None,
                  const ProcessNamer& processName = nullptr);
void WriteNoChanges(platform::BufferedWriter& text, const std::string& line);

// "Tuesday, March 2, 1999  09:05 PM", the CSV date "03/02/1999" and time "09:05 PM", with
// the names and separators of the user's locale.
std::string LongDateTimeText(const SYSTEMTIME& time);
std::string ShortDateText(const SYSTEMTIME& time);
std::string TimeText(const SYSTEMTIME& time);

}  // namespace report
