#pragma once
// The default folders dialog: where reports and the snapshot files go. The folders are
// chosen with the folder browser only; the two fields cannot be typed into.
#include <windows.h>

#include <string>

#include "app/form.h"
#include "app/settings.h"

namespace dialogs {

class TPathsForm : public app::Form {
 public:
  explicit TPathsForm(const app::SettingsFile& settings);
  // In: the current folders. Out, after OK: the folders as chosen (a drive root ends in
  // a backslash, another folder as the browser gave it).
  std::string reportPath, tempPath;
  // Shows the dialog modally; true when the user confirmed with OK.
  bool run(HWND owner);

  HWND Label1{}, btnReports{}, ebReportPath{}, btnTemp{}, ebTempPath{}, btnHelp{}, btnCancel{},
      btnOK{};

 private:
  void OnInit() override;
  bool OnCommand(int id, UINT code) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

  void FormCreate();
  void FormDestroy();
  void FormResize();
  void btnReportsClick();
  void btnTempClick();
  void btnHelpClick();
  void btnOKClick();
  void btnCancelClick();
  void GetFolder(HWND edit, const std::string& what);

  static const app::Binding<TPathsForm> kEvents[];

  const app::SettingsFile& settings_;
  std::string placementSection_;
};

}  // namespace dialogs
