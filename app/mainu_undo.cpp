// The main window's undo buttons: the report just written, or an earlier one.
#include <windows.h>

#include <commdlg.h>

#include "app/mainu.h"
#include "dialogs/undofmu.h"

namespace app {

void TMainForm::btnUndoClick() { dialogs::TUndoForm(TextOf(ebReportName)).Run(hwnd_); }

void TMainForm::btnUndoOldClick() {
  char file[MAX_PATH] = "";
  OPENFILENAMEA dialog{};
  dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;  // the size every version takes
  dialog.hwndOwner = hwnd_;
  dialog.lpstrFilter = "Report files\0*.TXT;*.CSV\0";
  dialog.lpstrFile = file;
  dialog.nMaxFile = sizeof file;
  dialog.lpstrInitialDir = reptPath.c_str();
  dialog.lpstrTitle = "Choose the Report of the Install to Undo";
  dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  if (!GetOpenFileNameA(&dialog)) return;
  dialogs::TUndoForm(file).Run(hwnd_);
}

}  // namespace app
