#include "app/package_command.h"

#include <windows.h>

#include "engines/package.h"
#include "report/report_facts.h"
#include "report/undo_run.h"

namespace app {
namespace {

void Tell(const std::string& text) {
  const std::string line = text + "\r\n";
  DWORD written = 0;
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error && error != INVALID_HANDLE_VALUE)
    WriteFile(error, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace

bool IsPackageCommand(const std::vector<std::string>& parameters) {
  return !parameters.empty() && lstrcmpiA(parameters[0].c_str(), "/PACKAGE") == 0;
}

int RunPackageCommand(const std::vector<std::string>& parameters) {
  const bool asNow = parameters.size() == 4 && lstrcmpiA(parameters[3].c_str(), "/ASNOW") == 0;
  if (parameters.size() != 3 && !asNow) {
    Tell("Usage: VORTAN4.EXE /PACKAGE <report file> <folder> [/ASNOW]");
    Tell("/ASNOW: what changed since the report goes in as it is now, where it is otherwise left out.");
    return kPackageNothingWritten;
  }
  std::string report = parameters[1], folder = parameters[2];
  char full[MAX_PATH];
  if (GetFullPathNameA(report.c_str(), MAX_PATH, full, nullptr)) report = full;
  if (GetFullPathNameA(folder.c_str(), MAX_PATH, full, nullptr)) folder = full;
  try {
    if (GetFileAttributesA(report.c_str()) == INVALID_FILE_ATTRIBUTES) {
      Tell("Nothing was written: there is no report " + report + ".");
      return kPackageNothingWritten;
    }
    const engines::UndoData data = report::ReadUndoDataOfReport(report);
    if (const std::string why = engines::PackageFolderRefusal(folder, data.report); !why.empty()) {
      Tell("Nothing was written: " + why + ".");
      return kPackageNothingWritten;
    }
    engines::PackageContext context = report::PackageContextOf(report);
    context.takeChangedAsNow = asNow;
    engines::Package package = engines::PlanPackage(data, context);
    const engines::PackageResult result = engines::WritePackage(package, folder);
    for (const std::string& line : engines::PackageSummary(package, result, folder)) Tell(line);
    return result.Complete(package) ? kPackageComplete : kPackagePartial;
  } catch (const std::exception& error) {
    Tell(std::string("Nothing was written: ") + error.what());
    return kPackageNothingWritten;
  }
}

}  // namespace app
