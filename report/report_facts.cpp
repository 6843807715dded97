#include "report/report_facts.h"

#include <exception>

#include "platform/textfile.h"
#include "report/writer.h"

namespace report {
namespace {

const char kTextFirst[] = "Installation report: ";
const char kProgramLine[] = "Install program: ";
const char kModeLine[] = "Notification by ";
const char kFoldersLine[] = "Tracking these drives/folders: ";
const char kFolderIndent[] = "    ";

bool StartsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

session::TrackMode ModeNamed(const std::string& text) {
  for (session::TrackMode mode : {session::tmReal, session::tmTime, session::tmDisk})
    if (text == TrackModeText(mode)) return mode;
  return session::tmNone;
}

// The values of one comma-separated row as CsvRow writes it; false for anything else.
bool SplitCsvRow(const std::string& row, std::vector<std::string>& values) {
  values.clear();
  for (size_t i = 0; i < row.size();) {
    if (row[i] != '"') return false;
    std::string value;
    for (++i;; ++i) {
      if (i >= row.size()) return false;
      if (row[i] != '"') {
        value += row[i];
      } else if (i + 1 < row.size() && row[i + 1] == '"') {
        value += '"';
        ++i;
      } else {
        break;
      }
    }
    values.push_back(value);
    if (++i == row.size()) return true;
    if (row[i++] != ',') return false;
  }
  return false;
}

void ReadTextForm(platform::BufferedReader& lines, const std::string& first, ReportFacts& facts) {
  facts.description = first.substr(sizeof kTextFirst - 1);
  bool inFolders = false;
  const std::string changes = "CHANGES MADE TO ";
  for (std::string line; lines.ReadLine(line);) {
    if (inFolders && StartsWith(line, kFolderIndent)) {
      facts.watchedFolders.push_back(line.substr(sizeof kFolderIndent - 1));
      continue;
    }
    inFolders = line == kFoldersLine;
    if (StartsWith(line, kProgramLine) && facts.installProgram.empty())
      facts.installProgram = line.substr(sizeof kProgramLine - 1);
    else if (StartsWith(line, kModeLine) && facts.trackMode == session::tmNone)
      facts.trackMode = ModeNamed(line.substr(sizeof kModeLine - 1));
    else if ((StartsWith(line, changes) || StartsWith(line, "NO " + changes)) &&
             line.size() > 3 && line.compare(line.size() - 3, 3, "...") == 0)
      facts.iniFiles.push_back(line.substr(line.find(changes) + changes.size(),
                                           line.size() - 3 - line.find(changes) - changes.size()));
  }
}

bool ReadCsvForm(platform::BufferedReader& lines, ReportFacts& facts) {
  std::vector<std::string> values;
  for (std::string line; lines.ReadLine(line);) {
    if (!SplitCsvRow(line, values) || values.empty()) continue;
    if (values[0] == "Header" && values.size() > 7 && values[2] == "Vortan4" &&
        facts.trackMode == session::tmNone) {
      facts.description = values[1];
      facts.trackMode = ModeNamed(values[7]);
    } else if (values[0] == "Header" && values.size() > 2 && values[1] == "Install program") {
      facts.installProgram = values[2];
    } else if (values[0] == "Drives") {
      facts.watchedFolders.insert(facts.watchedFolders.end(), values.begin() + 1, values.end());
    } else if (values[0] == "INI" && values.size() > 2) {
      facts.iniFiles.push_back(values[2]);
    }
  }
  return facts.trackMode != session::tmNone;
}

}  // namespace

bool ReadReportFacts(const std::string& reportPath, ReportFacts& facts) {
  facts = ReportFacts();
  try {
    platform::BufferedReader lines(reportPath);
    std::string first;
    if (!lines.ReadLine(first)) return false;
    if (StartsWith(first, kTextFirst)) {
      ReadTextForm(lines, first, facts);
      return facts.trackMode != session::tmNone;
    }
    std::vector<std::string> headings;
    return SplitCsvRow(first, headings) && headings.size() > 1 && headings[0] == "Type" &&
           ReadCsvForm(lines, facts);
  } catch (const std::exception&) {
    return false;
  }
}

engines::PackageContext PackageContextOf(const std::string& reportPath) {
  engines::PackageContext context = engines::ThisMachine(reportPath);
  ReportFacts facts;
  if (ReadReportFacts(reportPath, facts))
    context.installationName = engines::InstallationName(facts.description, facts.installProgram);
  return context;
}

}  // namespace report
