#include "dialogs/pathsu.h"

#include "dialogs/folderbrowser.h"
#include "dialogs/pathsu_ids.h"

namespace dialogs {
namespace {

constexpr SIZE kDefaultSize{320, 120};  // also the minimum width and the only height
const char kFormName[] = "PathsForm";

std::string TextOf(HWND control) {
  std::string text(GetWindowTextLengthA(control) + 1, '\0');
  GetWindowTextA(control, &text[0], static_cast<int>(text.size()));
  return text.c_str();
}

RECT PlaceIn(HWND parent, HWND child) {
  RECT r{};
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

}  // namespace

TPathsForm::TPathsForm(const PlacementStore& placements) : placements_(placements) {}

bool TPathsForm::Run(HWND owner) {
  return RunResizable(IDD_PathsForm, owner, placements_,
                      {kFormName, kDefaultSize, kDefaultSize, true});
}

const Binding<TPathsForm> TPathsForm::kEvents[] = {
    {IDC_btnReports, BN_CLICKED, &TPathsForm::btnReportsClick},
    {IDC_btnTemp, BN_CLICKED, &TPathsForm::btnTempClick},
    {IDC_PathsForm_btnHelp, BN_CLICKED, &TPathsForm::btnHelpClick},
    {IDOK, BN_CLICKED, &TPathsForm::btnOKClick},
    {IDCANCEL, BN_CLICKED, &TPathsForm::btnCancelClick},
};

bool TPathsForm::OnCommand(int id, UINT code) { return Dispatch(*this, kEvents, id, code); }

const ControlRow<TPathsForm> TPathsForm::kControls[] = {
    {&TPathsForm::Label1, IDC_PathsForm_Label1, 0, nullptr},
    {&TPathsForm::btnReports, IDC_btnReports, 63, "Click to set the default folder for reports."},
    {&TPathsForm::ebReportPath, IDC_ebReportPath, 61,
     "Click the button at left to set the default folder for reports."},
    {&TPathsForm::btnTemp, IDC_btnTemp, 64, "Click to set the default folder for temporary files."},
    {&TPathsForm::ebTempPath, IDC_ebTempPath, 62,
     "Click the button at left to set the default folder for temporary files."},
    {&TPathsForm::btnHelp, IDC_PathsForm_btnHelp, 27, "Click for help on using this dialog"},
    {&TPathsForm::btnCancel, IDCANCEL, 27, "Close this window without accepting changes."},
    {&TPathsForm::btnOK, IDOK, 26, "Close this window and accept changes."},
};

void TPathsForm::OnInit() {
  BindControls(*this, kControls);
  SetWindowTextA(ebReportPath, reportPath.c_str());
  SetWindowTextA(ebTempPath, tempPath.c_str());
  SetFocus(btnReports);
}

// Measured against the window's outer width, as the layout was designed.
void TPathsForm::FormResize() {
  RECT window{};
  GetWindowRect(hwnd_, &window);
  const int width = window.right - window.left;
  for (HWND edit : {ebReportPath, ebTempPath}) {
    const RECT r = PlaceIn(hwnd_, edit);
    MoveWindow(edit, r.left, r.top, width - r.left - 11, r.bottom - r.top, TRUE);
  }
  const RECT ok = PlaceIn(hwnd_, btnOK), cancel = PlaceIn(hwnd_, btnCancel);
  const int okWidth = ok.right - ok.left, cancelWidth = cancel.right - cancel.left;
  const int okLeft = width - okWidth - 11;
  MoveWindow(btnOK, okLeft, ok.top, okWidth, ok.bottom - ok.top, TRUE);
  MoveWindow(btnCancel, okLeft - cancelWidth - 6, cancel.top, cancelWidth,
             cancel.bottom - cancel.top, TRUE);
}

void TPathsForm::GetFolder(HWND edit, const std::string& what) {
  const std::string folder =
      BrowseForFolder(hwnd_, {"Vortan4 - Select default folder for " + what, TextOf(edit), false});
  if (!folder.empty()) SetWindowTextA(edit, folder.c_str());
}

void TPathsForm::btnReportsClick() { GetFolder(ebReportPath, "reports"); }
void TPathsForm::btnTempClick() { GetFolder(ebTempPath, "temp files"); }
void TPathsForm::btnHelpClick() { ShowHelp(70); }

void TPathsForm::btnOKClick() {
  reportPath = TextOf(ebReportPath);
  tempPath = TextOf(ebTempPath);
  EndDialog(hwnd_, IDOK);
}

void TPathsForm::btnCancelClick() { EndDialog(hwnd_, IDCANCEL); }

}  // namespace dialogs
