// The main window's buttons that act on a report: undo its install, or make an installer
// package of it; the report just written, or an earlier one chosen with the file dialog.
#include <windows.h>

#include <commdlg.h>

#include <exception>
#include <stdexcept>

#include "app/mainu.h"
#include "dialogs/folderbrowser.h"
#include "dialogs/undofmu.h"
#include "engines/helpers.h"
#include "engines/package.h"
#include "platform/changes.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "report/report_facts.h"
#include "report/undo_run.h"

namespace app {

std::string TMainForm::ChooseEarlierReport(const char* title) {
  char file[MAX_PATH] = "";
  OPENFILENAMEA dialog{};
  dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;  // the size every version takes
  dialog.hwndOwner = hwnd_;
  dialog.lpstrFilter = "Report files\0*.TXT;*.CSV\0";
  dialog.lpstrFile = file;
  dialog.nMaxFile = sizeof file;
  dialog.lpstrInitialDir = reptPath.c_str();
  dialog.lpstrTitle = title;
  dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  return GetOpenFileNameA(&dialog) ? file : "";
}

void TMainForm::btnUndoClick() { dialogs::TUndoForm(TextOf(ebReportName)).Run(hwnd_); }

void TMainForm::btnUndoOldClick() {
  const std::string report = ChooseEarlierReport("Choose the Report of the Install to Undo");
  if (!report.empty()) dialogs::TUndoForm(report).Run(hwnd_);
}

void TMainForm::btnPackageClick() { MakePackageOf(TextOf(ebReportName)); }

void TMainForm::btnPackageOldClick() {
  const std::string report = ChooseEarlierReport("Choose the Report of the Install to Package");
  if (!report.empty()) MakePackageOf(report);
}

void TMainForm::MakePackageOf(const std::string& report) {
  // A new folder beside the report is offered, made for the browser to show and taken
  // away again when it is not chosen and still empty.
  dialogs::FolderBrowsing browsing;
  browsing.title = "Choose the folder for the installer package of " + report + ":";
  const std::string offered = platform::FolderOf(report) + platform::StemOf(report) + " package";
  const bool madeOffered = !platform::FolderExists(offered) && platform::MakeFolder(offered) == ERROR_SUCCESS;
  browsing.start = platform::FolderExists(offered) ? offered : platform::FolderOf(report);
  browsing.canMakeFolder = true;
  const std::string folder = dialogs::BrowseForFolder(hwnd_, browsing);
  if (madeOffered && lstrcmpiA(engines::WithoutTrailingBackslash(folder).c_str(), offered.c_str()) != 0)
    platform::RemoveFolder(offered);
  if (folder.empty()) return;
  const HCURSOR cursor = SetCursor(LoadCursor(nullptr, IDC_WAIT));
  std::string text;
  UINT icon = MB_ICONINFORMATION;
  try {
    const engines::UndoData data = report::ReadUndoDataOfReport(report);
    if (const std::string why = engines::PackageFolderRefusal(folder, data.report); !why.empty())
      throw std::runtime_error(why);
    engines::PackageContext context = report::PackageContextOf(report);
    engines::Package package = engines::PlanPackage(data, context);
    if (package.changedSince > 0 &&
        MessageWithBeep(hwnd_,
                        std::to_string(package.changedSince) +
                            " of the install's files, registry values or INI keys changed since the report.\r\n\r\n"
                            "Package them as they are now? With No they are left out, and README.TXT lists them.",
                        "Vortan4", MB_YESNO | MB_ICONQUESTION) == IDYES) {
      context.takeChangedAsNow = true;
      package = engines::PlanPackage(data, context);
    }
    const engines::PackageResult result = engines::WritePackage(package, folder);
    // The first lines of the summary; README.TXT has them all.
    const std::vector<std::string> lines = engines::PackageSummary(package, result, folder);
    constexpr size_t kShown = 12;
    for (size_t i = 0; i < lines.size() && i <= kShown; ++i) text += lines[i] + "\r\n";
    if (lines.size() > kShown + 1) text += "and " + std::to_string(lines.size() - kShown - 1) + " more.";
    if (!result.Complete(package)) icon = MB_ICONWARNING;
  } catch (const std::exception& error) {
    text = std::string("No installer package was written: ") + error.what();
    icon = MB_ICONERROR;
  }
  SetCursor(cursor);
  MessageWithBeep(hwnd_, text, "Vortan4", MB_OK | icon);
}

}  // namespace app
