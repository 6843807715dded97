#include <richedit.h>

#include "app/mainu.h"
#include "app/mainu_ids.h"
#include "app/pictures.h"

namespace app {
namespace {

constexpr int kEyeSize = 16;
const char kRowHint[] = "Use the ? icon in the title bar for more detailed help about this label.";
const char kModeHint[] = "See the Help for a detailed description.";

}  // namespace

const ControlRow<TMainForm> TMainForm::kControls[] = {
    {&TMainForm::imgMain, IDC_imgMain, 0, nullptr},
    {&TMainForm::bvlMain, IDC_bvlMain, 0, nullptr},
    {&TMainForm::btnHelp, IDC_btnHelp, 2, "Activate the Help system"},
    {&TMainForm::btnAbout, IDC_btnAbout, 1, nullptr},
    {&TMainForm::ebInstallProg, IDC_ebInstallProg, 5, "Enter the install program's name, or leave blank."},
    {&TMainForm::btnBrowse, IDC_btnBrowse, 4, "Click to browse for an install program."},
    {&TMainForm::ebParams, IDC_ebParams, 6, "Enter any command-line parameters for the install program."},
    {&TMainForm::ebName, IDC_ebName, 7, "Enter a name for the installation, to be used in the report."},
    {&TMainForm::ebReportName, IDC_ebReportName, 9, "Use the unique filename chosen by Vortan4, or enter your own."},
    {&TMainForm::btnSelect, IDC_btnSelect, 8, "Click to select an output report name by browsing."},
    {&TMainForm::lbExeType, IDC_lbExeType, 42, "Other options vary depending on the type of install program."},
    {&TMainForm::gbTrackMode, IDC_gbTrackMode, 0, nullptr},
    {&TMainForm::rbTmReal, IDC_rbTmReal, 11, kModeHint},
    {&TMainForm::rbTmTime, IDC_rbTmTime, 12, kModeHint},
    {&TMainForm::rbTmDisk, IDC_rbTmDisk, 13, kModeHint},
    {&TMainForm::gbTrackOpt, IDC_gbTrackOpt, 0, nullptr},
    {&TMainForm::btnDisk, IDC_btnDisk, 15, "Select drives and folders Vortan4 will watch."},
    {&TMainForm::btnINI, IDC_btnINI, 16, "Select the .INI files Vortan4 will watch."},
    {&TMainForm::btnReg, IDC_btnReg, 17, "Enter any Registry keys Vortan4 should ignore."},
    {&TMainForm::btnPath, IDC_btnPath, 60, "Set default locations for reports and temporary files"},
    {&TMainForm::btnInstall, IDC_btnInstall, 19, "Begin tracking and installation."},
    {&TMainForm::btnCancel, IDC_btnCancel, 18, "Cancel installation entirely."},
    // The step rows fill lbStat[i]; their help contexts run from 43.
    {nullptr, IDC_lbStat0, 43, kRowHint},
    {nullptr, IDC_lbStat1, 44, kRowHint},
    {nullptr, IDC_lbStat2, 45, kRowHint},
    {nullptr, IDC_lbStat3, 46, kRowHint},
    {nullptr, IDC_lbStat4, 47, kRowHint},
    {nullptr, IDC_lbStat5, 48, kRowHint},
    {nullptr, IDC_lbStat6, 49, kRowHint},
    {nullptr, IDC_lbStat7, 50, kRowHint},
    {nullptr, IDC_lbStat8, 51, kRowHint},
    {nullptr, IDC_lbStat9, 52, kRowHint},
    {nullptr, IDC_lbStat10, 53, kRowHint},
    {nullptr, IDC_lbStat11, 54, kRowHint},
    {&TMainForm::pnlStatEye, IDC_pnlStatEye, 0, nullptr},
    // Made by StyleControls inside the eye panel, before the rows are bound.
    {&TMainForm::imStatEye, IDC_imStatEye, 55, "The eye's position indicates the current activity."},
    {&TMainForm::lbStatus, IDC_lbStatus, 20, "Current status of install tracking"},
    {&TMainForm::btnInstDone, IDC_btnInstDone, 21, "Click when the install process is complete."},
    {&TMainForm::stPlease, IDC_stPlease, 71, nullptr},
    {&TMainForm::btnCancel2, IDC_btnCancel2, 31, "Cancel tracking of installation. Use with caution."},
    {&TMainForm::meRept, IDC_meRept, 22,
     "This is a preview of the report file. Click the Launch report button to load it into "
     "Notepad."},
    {&TMainForm::lbReportName, IDC_lbReportName, 56,
     "This is the name of the install report. Click the button below to launch it."},
    {&TMainForm::btnLaunch, IDC_btnLaunch, 30,
     "Load the report into Notepad, or whatever app handles text files on your system."},
    {&TMainForm::btnPackage, IDC_btnPackage, 72,
     "Write an NSIS script and a Windows Installer source that make this install's changes."},
    {&TMainForm::btnDone, IDC_btnDone, 23, "Click to close Vortan4"},
    {&TMainForm::btnUndo, IDC_btnUndo, 73,
     "Take back what the install changed, as far as the report's undo data holds it"},
    {&TMainForm::btnUndoOld, IDC_btnUndoOld, 74,
     "Choose an earlier report and take back what its install changed"},
    {&TMainForm::btnPackageOld, IDC_btnPackageOld, 75,
     "Choose an earlier report and make an installer package of its install"},
};

void TMainForm::FindControls() {
  for (int i = 0; i < kStepCount; ++i) lbStat[i] = Control(IDC_lbStat0 + i);
  BindControls(*this, kControls);
}

// Runs before the controls are bound: it makes the eye picture that the table binds.
void TMainForm::StyleControls() {
  headingFont_ = MakeBoldFont(hwnd_);
  goFont_ = MakeBoldFont(hwnd_, 22);
  for (int id : {IDC_lbSetupHeading, IDC_lbProgressHeading, IDC_lbReportHeading, IDC_lbStat3,
                 IDC_stPlease})
    SendMessageA(Control(id), WM_SETFONT, reinterpret_cast<WPARAM>(headingFont_.get()), FALSE);
  SendMessageA(Control(IDC_btnInstall), WM_SETFONT, reinterpret_cast<WPARAM>(goFont_.get()), FALSE);

  // The eye panel is exactly the picture's size; the picture sits inside it.
  HWND eyePanel = Control(IDC_pnlStatEye);
  SetWindowPos(eyePanel, nullptr, 0, 0, kEyeSize, kEyeSize,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  eyeIcon_ = MakeEyeIcon(kEyeSize);
  HWND eye = CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE | SS_ICON | SS_NOTIFY |
                                                   SS_REALSIZEIMAGE | SS_CENTERIMAGE,
                              0, 0, kEyeSize, kEyeSize, eyePanel,
                              reinterpret_cast<HMENU>(IDC_imStatEye), GetModuleHandleA(nullptr),
                              nullptr);
  SendMessageA(eye, STM_SETICON, reinterpret_cast<WPARAM>(eyeIcon_.get()), 0);
  windowIcon_ = MakeEyeIcon(32);
  SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(windowIcon_.get()));
  SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(eyeIcon_.get()));

  // The preview shows the report as it is: long lines scroll, they do not wrap.
  SendMessageA(Control(IDC_meRept), EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
  SendMessageA(Control(IDC_meRept), EM_SETTARGETDEVICE, 0, 1);
}

std::string TMainForm::TextOf(HWND control) const {
  int length = static_cast<int>(SendMessageA(control, WM_GETTEXTLENGTH, 0, 0));
  std::string text(length + 1, '\0');
  length = static_cast<int>(
      SendMessageA(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
  text.resize(length);
  return text;
}

void TMainForm::DrawItem(const DRAWITEMSTRUCT& item) const {
  if (item.CtlID == IDC_imgMain) {
    DrawMainPicture(item.hDC, item.rcItem);
    return;
  }
  if (item.CtlID != IDC_btnInstall) return;
  // The red, bold, large "&GO!": only an owner-drawn button shows a coloured caption.
  RECT face = item.rcItem;
  const bool pushed = item.itemState & ODS_SELECTED;
  const bool disabled = item.itemState & ODS_DISABLED;
  DrawFrameControl(item.hDC, &face, DFC_BUTTON,
                   DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0) | (disabled ? DFCS_INACTIVE : 0));
  HGDIOBJ old = SelectObject(item.hDC, goFont_.get());
  SetBkMode(item.hDC, TRANSPARENT);
  RECT text = face;
  if (pushed) OffsetRect(&text, 1, 1);
  UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE | (item.itemState & ODS_NOACCEL ? DT_HIDEPREFIX : 0);
  if (disabled) {
    // Etched like any disabled caption: a light copy under a grey one.
    RECT light = text;
    OffsetRect(&light, 1, 1);
    SetTextColor(item.hDC, GetSysColor(COLOR_3DHILIGHT));
    DrawTextA(item.hDC, "&GO!", -1, &light, format);
    SetTextColor(item.hDC, GetSysColor(COLOR_GRAYTEXT));
  } else {
    SetTextColor(item.hDC, RGB(204, 0, 0));
  }
  DrawTextA(item.hDC, "&GO!", -1, &text, format);
  SelectObject(item.hDC, old);
  if (item.itemState & ODS_FOCUS) {
    RECT focus = face;
    InflateRect(&focus, -4, -4);
    DrawFocusRect(item.hDC, &focus);
  }
}

}  // namespace app
