#pragma once
// The default folders dialog: where reports and the snapshot files go. The folders are
// chosen with the folder browser only; the two fields cannot be typed into.
#include <windows.h>

#include <string>

#include "dialogs/form.h"
#include "dialogs/placement.h"

namespace dialogs {

class TPathsForm : public Form {
 public:
  explicit TPathsForm(const PlacementStore& placements);
  // In: the current folders. Out, after OK: the folders as chosen (a drive root ends in
  // a backslash, another folder as the browser gave it).
  std::string reportPath, tempPath;
  // Shows the dialog modally; true when the user confirmed with OK.
  bool Run(HWND owner);

  HWND Label1{}, btnReports{}, ebReportPath{}, btnTemp{}, ebTempPath{}, btnHelp{}, btnCancel{},
      btnOK{};

 private:
  void OnInit() override;
  bool OnCommand(int id, UINT code) override;
  void FormResize() override;

  void btnReportsClick();
  void btnTempClick();
  void btnHelpClick();
  void btnOKClick();
  void btnCancelClick();
  void GetFolder(HWND edit, const std::string& what);

  static const Binding<TPathsForm> kEvents[];
  static const ControlRow<TPathsForm> kControls[];

  const PlacementStore& placements_;
};

}  // namespace dialogs
