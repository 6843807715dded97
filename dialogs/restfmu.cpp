#include "dialogs/restfmu.h"

#include "dialogs/restfmu_ids.h"

namespace dialogs {
namespace {

using session::TrackMode;

constexpr int kClientWidth = 379;
constexpr int kClientHeight = 160;

// Each control: its member, id, help context and hint, and for the choices their Tag.
struct RebootControl {
  HWND TRtRebootForm::*field;
  int id;
  DWORD helpContext;
  const char* hint;
  uint8_t tag;  // the choice a radio button stands for; 0 for the other controls
};
const RebootControl kControls[] = {
    {&TRtRebootForm::imgIco, IDC_imgIco, 0, nullptr, 0},
    {&TRtRebootForm::Label1, IDC_Label1, 0, nullptr, 0},
    {&TRtRebootForm::rbDisk, IDC_rbDisk, 32,
     "Use disk contents comparison to report on additional changes made during Windows restart",
     session::tmDisk},
    {&TRtRebootForm::rbTime, IDC_rbTime, 41,
     "Use file time comparison to report on additional changes made during Windows restart",
     session::tmTime},
    {&TRtRebootForm::rbNone, IDC_rbNone, 66,
     "Do not report on additional changes made during Windows restart", session::tmNone},
    {&TRtRebootForm::btnhelp, IDC_btnhelp, 68, nullptr, 0},
    {&TRtRebootForm::btnOK, IDC_btnOK, 67,
     "Click to accept selected supplemental tracking mode and continue", 0},
};
constexpr DWORD kHelpContext = 69;

}  // namespace

const Binding<TRtRebootForm> TRtRebootForm::kEvents[] = {
    {IDC_btnhelp, BN_CLICKED, &TRtRebootForm::btnhelpClick},
    {IDC_btnOK, BN_CLICKED, &TRtRebootForm::btnOKClick},
};

TrackMode TRtRebootForm::Choose(HWND owner) {
  RunModal(IDD_RtRebootForm, owner);
  return choice_;
}

void TRtRebootForm::OnInit() {
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, GetWindowLongA(hwnd_, GWL_STYLE), FALSE,
                     GetWindowLongA(hwnd_, GWL_EXSTYLE));
  SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // The hints are kept with the controls; this window shows no tool tips.
  for (const RebootControl& row : kControls) {
    this->*row.field = Control(row.id);
    SetWindowContextHelpId(this->*row.field, row.helpContext);
  }
  FormCreate();
}

void TRtRebootForm::FormCreate() {
  choice_ = session::tmDisk;
  SendMessageA(rbDisk, BM_SETCHECK, BST_CHECKED, 0);
  SendMessageA(imgIco, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconA(nullptr, IDI_EXCLAMATION)),
               0);
  if (placement_.restore) placement_.restore(hwnd_, placementSection_);
  SetFocus(rbDisk);
  MessageBeep(MB_ICONHAND);
}

bool TRtRebootForm::OnCommand(int id, UINT code) {
  // Esc, the close button, the system menu's Close and Alt+F4 all arrive as IDCANCEL.
  if (id == IDCANCEL && code == BN_CLICKED) {
    TryClose(IDCANCEL);
    return true;
  }
  if (code == BN_CLICKED)
    for (const RebootControl& row : kControls)
      if (row.id == id && row.tag != 0) {
        rbClick(static_cast<TrackMode>(row.tag));
        return true;
      }
  return Dispatch(*this, kEvents, id, code);
}

bool TRtRebootForm::OnMessage(UINT message, WPARAM, LPARAM, LRESULT&) {
  if (message == WM_DESTROY) FormDestroy();
  return false;
}

void TRtRebootForm::rbClick(TrackMode tag) { choice_ = tag; }

void TRtRebootForm::btnhelpClick() {
  WinHelpA(hwnd_, HelpFile().c_str(), HELP_CONTEXT, kHelpContext);
}

void TRtRebootForm::btnOKClick() { TryClose(IDOK); }

bool TRtRebootForm::FormCloseQuery(int result) const { return result == IDOK; }

void TRtRebootForm::TryClose(int result) {
  if (!FormCloseQuery(result)) {
    MessageBeep(MB_OK);
    return;
  }
  EndDialog(hwnd_, result);
}

void TRtRebootForm::FormDestroy() {
  if (placement_.save) placement_.save(hwnd_, placementSection_);
}

}  // namespace dialogs
