#include "app/mainu.h"

#include <commctrl.h>
#include <commdlg.h>
#include <richedit.h>

#include <cstdio>

#include "app/mainu_ids.h"
#include "app/pictures.h"
#include "engines/disk.h"
#include "engines/filetime.h"
#include "engines/ini.h"
#include "engines/registry.h"
#include "platform/ioerror.h"
#include "platform/messages.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "platform/textfile.h"

namespace app {
namespace {

using engines::WithTrailingBackslash;

constexpr int kClientWidth = 604;
constexpr int kClientHeight = 313;
constexpr int kEyeSize = 16;
struct TimerInterval {
  int id;
  UINT milliseconds;
};
constexpr TimerInterval kTimers[] = {
    {IDT_tmr5Min, 300000}, {IDT_tmrReadyRest, 1000}, {IDT_tmrRestart, 250}};

const char kNoProgram[] = "(no program)";
const char kRowHint[] = "Use the ? icon in the title bar for more detailed help about this label.";
const char kModeHint[] = "See the Help for a detailed description.";

const ControlHelp kHelp[] = {
    {IDC_btnHelp, 2, "Activate the Help system"},
    {IDC_btnAbout, 1, nullptr},
    {IDC_ebInstallProg, 5, "Enter the install program's name, or leave blank."},
    {IDC_btnBrowse, 4, "Click to browse for an install program."},
    {IDC_ebParams, 6, "Enter any command-line parameters for the install program."},
    {IDC_ebName, 7, "Enter a name for the installation, to be used in the report."},
    {IDC_ebReportName, 9, "Use the unique filename chosen by Vortan4, or enter your own."},
    {IDC_btnSelect, 8, "Click to select an output report name by browsing."},
    {IDC_lbExeType, 42, "Other options vary depending on the type of install program."},
    {IDC_rbTmReal, 11, kModeHint},
    {IDC_rbTmTime, 12, kModeHint},
    {IDC_rbTmDisk, 13, kModeHint},
    {IDC_btnDisk, 15, "Select drives and folders Vortan4 will watch."},
    {IDC_btnINI, 16, "Select the .INI files Vortan4 will watch."},
    {IDC_btnReg, 17, "Enter any Registry keys Vortan4 should ignore."},
    {IDC_btnPath, 60, "Set default locations for reports and temporary files"},
    {IDC_btnInstall, 19, "Begin tracking and installation."},
    {IDC_btnCancel, 18, "Cancel installation entirely."},
    {IDC_lbStat0, 43, kRowHint},
    {IDC_lbStat1, 44, kRowHint},
    {IDC_lbStat2, 45, kRowHint},
    {IDC_lbStat3, 46, kRowHint},
    {IDC_lbStat4, 47, kRowHint},
    {IDC_lbStat5, 48, kRowHint},
    {IDC_lbStat6, 49, kRowHint},
    {IDC_lbStat7, 50, kRowHint},
    {IDC_lbStat8, 51, kRowHint},
    {IDC_lbStat9, 52, kRowHint},
    {IDC_lbStat10, 53, kRowHint},
    {IDC_lbStat11, 54, kRowHint},
    {IDC_imStatEye, 55, "The eye's position indicates the current activity."},
    {IDC_lbStatus, 20, "Current status of install tracking"},
    {IDC_btnInstDone, 21, "Click when the install process is complete."},
    {IDC_stPlease, 71, nullptr},
    {IDC_btnCancel2, 31, "Cancel tracking of installation. Use with caution."},
    {IDC_meRept, 22,
     "This is a preview of the report file. Click the Launch report button to load it into "
     "Notepad."},
    {IDC_lbReportName, 56,
     "This is the name of the install report. Click the button below to launch it."},
    {IDC_btnLaunch, 30,
     "Load the report into Notepad, or whatever app handles text files on your system."},
    {IDC_btnDone, 23, "Click to close Vortan4"},
};

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path) { return path.substr(FolderOf(path).size()); }

bool PathExists(const std::string& path) {
  return platform::FileExists(path) || platform::FolderExists(path);
}

void InitWindowClasses() {
  static const bool done = [] {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    // The preview's rich edit class lives in this library on every version we run on.
    LoadLibraryA("riched32.dll");
    return true;
  }();
  (void)done;
}

}  // namespace

std::vector<std::string> SnapshotFiles(const std::string& tempPath,
                                       const std::vector<std::string>& iniFiles) {
  std::vector<std::string> files;
  for (const char* base :
       {engines::kDiskListingBase, engines::kRegistryListingBase, engines::kDeviceFileBase})
    for (const char* extension : {".$$1", ".$$2"}) files.push_back(tempPath + base + extension);
  for (const std::string& ini : iniFiles)
    for (const char* extension : {".$$1", ".$$2"})
      files.push_back(engines::IniCopyPath(ini, tempPath, extension));
  return files;
}

TMainForm::TMainForm(const ProgramPlaces& places, const WindowsFacts& windows,
                     std::vector<std::string> args)
    : programFolder(places.programFolder),
      settings(places.settingsPath),
      windows(windows),
      args_(std::move(args)),
      windowsFolder_(places.windowsFolder) {
  const std::string& ini = places.settingsPath;
  SetHelpFile(ini.substr(0, ini.size() - 4) + ".HLP");
}

TMainForm::~TMainForm() {
  if (hwnd_) DestroyWindow(hwnd_);
  if (eyeIcon_) DestroyIcon(eyeIcon_);
  if (windowIcon_) DestroyIcon(windowIcon_);
}

HWND TMainForm::Create() {
  InitWindowClasses();
  return CreateModeless(IDD_MainForm, nullptr);
}

const Binding<TMainForm> TMainForm::kEvents[] = {
    {IDC_ebInstallProg, EN_CHANGE, &TMainForm::ebInstallProgChange},
    {IDC_btnBrowse, BN_CLICKED, &TMainForm::btnBrowseClick},
    {IDC_btnSelect, BN_CLICKED, &TMainForm::btnSelectClick},
    {IDC_ebReportName, EN_CHANGE, &TMainForm::ebReportNameChange},
    {IDC_rbTmReal, BN_CLICKED, &TMainForm::rbTmRealClick},
    {IDC_rbTmTime, BN_CLICKED, &TMainForm::rbTmTimeClick},
    {IDC_rbTmDisk, BN_CLICKED, &TMainForm::rbTmDiskClick},
    {IDC_btnDisk, BN_CLICKED, &TMainForm::btnDiskClick},
    {IDC_btnINI, BN_CLICKED, &TMainForm::btnINIClick},
    {IDC_btnReg, BN_CLICKED, &TMainForm::btnRegClick},
    {IDC_btnPath, BN_CLICKED, &TMainForm::btnPathClick},
    {IDC_btnHelp, BN_CLICKED, &TMainForm::btnHelpClick},
    {IDC_btnAbout, BN_CLICKED, &TMainForm::btnAboutClick},
    {IDC_btnInstall, BN_CLICKED, &TMainForm::aPrepareExecute},
    {IDC_btnInstDone, BN_CLICKED, &TMainForm::btnInstDoneClick},
    {IDC_btnLaunch, BN_CLICKED, &TMainForm::btnLaunchClick},
    // Every Cancel button, "&Done" and the Esc key ask the window to close.
    {IDC_btnCancel, BN_CLICKED, &TMainForm::Close},
    {IDC_btnCancel2, BN_CLICKED, &TMainForm::Close},
    {IDC_btnDone, BN_CLICKED, &TMainForm::Close},
    {IDCANCEL, BN_CLICKED, &TMainForm::Close},
    {IDT_tmr5Min, WM_TIMER, &TMainForm::tmr5MinTimer},
    {IDT_tmrReadyRest, WM_TIMER, &TMainForm::tmrReadyRestTimer},
    {IDT_tmrRestart, WM_TIMER, &TMainForm::tmrRestartTimer},
};

bool TMainForm::OnCommand(int id, UINT code) { return dispatch(*this, kEvents, id, code); }

void TMainForm::UpdateActions() { aPrepareUpdate(); }

bool TMainForm::OnMessage(UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_CLOSE:
      Close();
      return true;
    case WM_DESTROY:
      FormDestroy();
      return true;
    case WM_QUERYENDSESSION:
      result = FormQueryEndSession(lParam);
      return true;
    case WM_DRAWITEM:
      DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return true;
    case WM_WATCHENDED:
      WatchEnded(lParam);
      return true;
    case WM_LAUNCHENDED:
      LaunchEnded(lParam);
      return true;
    case WM_CONTINUESESSION:
      ContinueSession();
      return true;
  }
  return false;
}

void TMainForm::OnInit() {
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, GetWindowLongA(hwnd_, GWL_STYLE), FALSE,
                     GetWindowLongA(hwnd_, GWL_EXSTYLE));
  SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  RECT notebook{};
  GetWindowRect(GetDlgItem(hwnd_, IDC_nbMain), &notebook);
  MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&notebook), 2);
  const RECT place{notebook.left, 0, kClientWidth, kClientHeight};
  const int templates[3] = {IDD_InstallAProg, IDD_ReadyInstall, IDD_ProgComplete};
  HWND after = HWND_TOP;
  for (int i = 0; i < 3; ++i) {
    pages_[i] = CreatePage(templates[i], place);
    // Pages first in the tab order, ahead of the buttons at the left.
    SetWindowPos(pages_[i], after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    after = pages_[i];
  }
  FindControls();
  StyleControls();
  DescribeControls(kHelp, sizeof kHelp / sizeof kHelp[0]);
  FormCreate();
  aPrepareUpdate();
}

void TMainForm::FindControls() {
  struct Field {
    HWND TMainForm::*field;
    int id;
  };
  static const Field fields[] = {
      {&TMainForm::imgMain, IDC_imgMain},       {&TMainForm::bvlMain, IDC_bvlMain},
      {&TMainForm::btnHelp, IDC_btnHelp},       {&TMainForm::btnAbout, IDC_btnAbout},
      {&TMainForm::ebInstallProg, IDC_ebInstallProg}, {&TMainForm::btnBrowse, IDC_btnBrowse},
      {&TMainForm::ebParams, IDC_ebParams},     {&TMainForm::ebName, IDC_ebName},
      {&TMainForm::ebReportName, IDC_ebReportName}, {&TMainForm::btnSelect, IDC_btnSelect},
      {&TMainForm::lbExeType, IDC_lbExeType},   {&TMainForm::gbTrackMode, IDC_gbTrackMode},
      {&TMainForm::rbTmReal, IDC_rbTmReal},     {&TMainForm::rbTmTime, IDC_rbTmTime},
      {&TMainForm::rbTmDisk, IDC_rbTmDisk},     {&TMainForm::gbTrackOpt, IDC_gbTrackOpt},
      {&TMainForm::btnDisk, IDC_btnDisk},       {&TMainForm::btnINI, IDC_btnINI},
      {&TMainForm::btnReg, IDC_btnReg},         {&TMainForm::btnPath, IDC_btnPath},
      {&TMainForm::btnInstall, IDC_btnInstall}, {&TMainForm::btnCancel, IDC_btnCancel},
      {&TMainForm::pnlStatEye, IDC_pnlStatEye}, {&TMainForm::lbStatus, IDC_lbStatus},
      {&TMainForm::btnInstDone, IDC_btnInstDone}, {&TMainForm::stPlease, IDC_stPlease},
      {&TMainForm::btnCancel2, IDC_btnCancel2}, {&TMainForm::meRept, IDC_meRept},
      {&TMainForm::lbReportName, IDC_lbReportName}, {&TMainForm::btnLaunch, IDC_btnLaunch},
      {&TMainForm::btnDone, IDC_btnDone},
  };
  for (const Field& f : fields) this->*f.field = Control(f.id);
}

void TMainForm::StyleControls() {
  headingFont_ = MakeBoldFont(hwnd_);
  goFont_ = MakeBoldFont(hwnd_, 22);
  for (int id : {IDC_lbSetupHeading, IDC_lbProgressHeading, IDC_lbReportHeading, IDC_lbStat3,
                 IDC_stPlease})
    SendMessageA(Control(id), WM_SETFONT, reinterpret_cast<WPARAM>(headingFont_.get()), FALSE);
  SendMessageA(btnInstall, WM_SETFONT, reinterpret_cast<WPARAM>(goFont_.get()), FALSE);

  // The eye panel is exactly the picture's size; the picture sits inside it.
  SetWindowPos(pnlStatEye, nullptr, 0, 0, kEyeSize, kEyeSize,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  eyeIcon_ = MakeEyeIcon(kEyeSize);
  imStatEye = CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE | SS_ICON | SS_NOTIFY |
                                                   SS_REALSIZEIMAGE | SS_CENTERIMAGE,
                              0, 0, kEyeSize, kEyeSize, pnlStatEye,
                              reinterpret_cast<HMENU>(IDC_imStatEye), GetModuleHandleA(nullptr),
                              nullptr);
  SendMessageA(imStatEye, STM_SETICON, reinterpret_cast<WPARAM>(eyeIcon_), 0);
  windowIcon_ = MakeEyeIcon(32);
  SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(windowIcon_));
  SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(eyeIcon_));

  // The preview shows the report as it is: long lines scroll, they do not wrap.
  SendMessageA(meRept, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
  SendMessageA(meRept, EM_SETTARGETDEVICE, 0, 1);
}

void TMainForm::FormCreate() {
  launchThread = nullptr;
  for (int i = 0; i < kStepCount; ++i) lbStat[i] = Control(IDC_lbStat0 + i);
  trackMode = tmReal;
  restartChoice = 0;
  deleteTempFiles = args_.empty() || engines::LowerAscii(args_[0]) != "debug";
  phase = phSetup;
  twoPhase = tpNone;
  endSessionKind = esNone;
  reportIsText = true;
  installType = itNone;
  SendMessageA(rbTmReal, BM_SETCHECK, BST_CHECKED, 0);
  SetWindowTextA(ebName, kNoProgram);
  SetWindowTextA(lbExeType, InstallTypeText(itNone).c_str());
  ShowPage(0);
  MoveStatusEye(0);

  settingsSection = kSettingsSection;
  UpdateModeChoices();

  if (!ObtainProcessKey(windows.type, processKey)) {
    MessageWithBeep(hwnd_,
                    "Windows refused Vortan4 access to a value required for real-time reporting. "
                    "Real-time reporting will be disabled.",
                    "Vortan4", MB_OK | MB_ICONINFORMATION);
    realTimeAvailable = false;
    EnableWindow(rbTmReal, FALSE);
    if (SendMessageA(rbTmReal, BM_GETCHECK, 0, 0) == BST_CHECKED) {
      SendMessageA(rbTmReal, BM_SETCHECK, BST_UNCHECKED, 0);
      SendMessageA(rbTmDisk, BM_SETCHECK, BST_CHECKED, 0);
      trackMode = tmDisk;
    }
  }

  MainSettings values = ReadMainSettings(settings, programFolder);
  lastRept = values.lastRept;
  reportIsText = lastRept == 1;
  instPath = values.instPath;
  reptPath = values.reptPath;
  tempPath = values.tempPath;
  SetWindowTextA(ebReportName, MakeReportName().c_str());
  RestoreWindowPlacement(hwnd_, settings, settingsSection, false);
  drives = LoadWatchedList(settings, WatchedList::Drives, windowsFolder_);
  inis = LoadWatchedList(settings, WatchedList::Inis, windowsFolder_);
  regs = LoadWatchedList(settings, WatchedList::Regs, windowsFolder_);

  twoPhase = static_cast<TwoPhase>(settings.ReadInt(kTwoPhaseSection, "TwoPhase", tpNone));
  // The continuation runs once the window is shown and the message loop runs.
  if (twoPhase != tpNone) PostMessageA(hwnd_, WM_CONTINUESESSION, 0, 0);
}

// A session begun in an earlier run of the program (two-phase tracking, or a Windows
// restart during an install) is recorded again and reported.
void TMainForm::ContinueSession() {
  if (twoPhase == tpTwoPhase &&
      MessageWithBeep(hwnd_,
                      "Vortan4 performed its pre-install data recording the last time it was "
                      "executed. It is now ready to perform post-install data recording, and "
                      "produce a report. Should it do so? If you answer No, the pre-install data "
                      "will be discarded.",
                      "Confirm", MB_YESNO | MB_ICONQUESTION) != IDYES) {
    // twoPhase stays 1, so the snapshots stay until a session of this run reports.
    EraseContinuation(settings);
    return;
  }
  const Continuation block =
      ReadContinuation(settings, TextOf(ebName), TextOf(ebReportName), TextOf(ebInstallProg));
  SetWindowTextA(ebName, block.reportDesc.c_str());
  SetWindowTextA(ebReportName, block.reportName.c_str());
  SetWindowTextA(ebInstallProg, block.installProg.c_str());  // runs the change handling
  startTime.dwLowDateTime = static_cast<DWORD>(block.timeLo);
  startTime.dwHighDateTime = static_cast<DWORD>(block.timeHi);
  trackMode = static_cast<TrackMode>(block.trackMode);
  statMask = static_cast<StatMask>(block.statMask);
  PutStatMaskInForce(statMask);
  ShowPage(1);
  ShowWindow(hwnd_, SW_SHOW);
  UpdateWindow(hwnd_);
  if (engines::AbortRequested()) return;
  EraseContinuation(settings);
  RunPostInstall(Sender::Window);
}

Continuation TMainForm::CurrentContinuation(TwoPhase state) const {
  Continuation block;
  block.twoPhase = state;
  block.reportDesc = TextOf(ebName);
  block.reportName = TextOf(ebReportName);
  block.installProg = TextOf(ebInstallProg);
  block.timeLo = static_cast<int>(startTime.dwLowDateTime);
  block.timeHi = static_cast<int>(startTime.dwHighDateTime);
  block.statMask = static_cast<int>(statMask);
  block.trackMode = trackMode;
  return block;
}

// The system starts the program once at the next log-on from this entry.
void TMainForm::WriteRunOnceEntry() const {
  if (windows.currentVersionKey.empty()) return;
  platform::WriteStringValue(HKEY_CURRENT_USER, windows.currentVersionKey.substr(1) + "\\RunOnce",
                             "VORTAN4", platform::ModulePath());
}

std::string TMainForm::TextOf(HWND control) const {
  int length = static_cast<int>(SendMessageA(control, WM_GETTEXTLENGTH, 0, 0));
  std::string text(length + 1, '\0');
  length = static_cast<int>(
      SendMessageA(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
  text.resize(length);
  return text;
}

void TMainForm::ShowStatus(const std::string& text) {
  if (TextOf(lbStatus) == text) return;
  SetWindowTextA(lbStatus, text.c_str());
  UpdateWindow(lbStatus);
}

void TMainForm::MoveStatusEye(int row) {
  if (row < 0 || row >= kStepCount) return;
  RECT r{};
  GetWindowRect(lbStat[row], &r);
  MapWindowPoints(nullptr, pages_[1], reinterpret_cast<POINT*>(&r), 2);
  RECT eye{};
  GetWindowRect(pnlStatEye, &eye);
  MapWindowPoints(nullptr, pages_[1], reinterpret_cast<POINT*>(&eye), 2);
  SetWindowPos(pnlStatEye, nullptr, eye.left, r.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::string TMainForm::MakeReportName() const {
  const char* extension = lastRept == 1 ? "TXT" : "CSV";
  for (int counter = 0;; ++counter) {
    char number[16];
    std::snprintf(number, sizeof number, "%.4d", counter);
    std::string name = reptPath + "RPT_" + number + "." + extension;
    if (!PathExists(name)) return name;
  }
}

void TMainForm::PutStatMaskInForce(StatMask mask) {
  statMask = mask;
  for (int i = 0; i < kStepCount; ++i) EnableWindow(lbStat[i], (mask >> i) & 1);
}

void TMainForm::ShowPage(int page) {
  activePage_ = page;
  for (int i = 0; i < 3; ++i) ShowWindow(pages_[i], i == page ? SW_SHOWNA : SW_HIDE);
  HWND focus = GetFocus();
  if (!focus || !IsWindowVisible(focus) || !IsChild(hwnd_, focus))
    SetFocus(GetNextDlgTabItem(pages_[page], nullptr, FALSE));
}

void TMainForm::SetMode(int mode) { trackMode = static_cast<TrackMode>(mode); }

void TMainForm::UpdateModeChoices() {
  HWND buttons[3] = {rbTmReal, rbTmTime, rbTmDisk};
  ModeChoices now;
  now.checked = 0;
  for (int i = 0; i < 3; ++i) {
    now.enabled[i] = IsWindowEnabled(buttons[i]) != FALSE;
    if (SendMessageA(buttons[i], BM_GETCHECK, 0, 0) == BST_CHECKED) now.checked = i + 1;
  }
  ModeChoices next = ChooseModes(now, installType, windows.type, realTimeAvailable);
  for (int i = 0; i < 3; ++i) {
    EnableWindow(buttons[i], next.enabled[i]);
    SendMessageA(buttons[i], BM_SETCHECK, next.checked == i + 1 ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  if (next.checked != 0) SetMode(next.checked);
}

void TMainForm::ebInstallProgChange() {
  const std::string program = TextOf(ebInstallProg);
  const InstallType old = installType;
  installType = ClassifyInstallProgram(program, windows.platform);
  if (installType != old) {
    UpdateModeChoices();
    std::string name = FileNameOf(program);
    name = name.substr(0, name.find_last_of('.'));
    SetWindowTextA(ebName, program.empty() || installType < 0 ? kNoProgram : name.c_str());
  }
  SetWindowTextA(lbExeType, InstallTypeText(installType).c_str());
}

void TMainForm::rbTmRealClick() { SetMode(tmReal); }
void TMainForm::rbTmTimeClick() { SetMode(tmTime); }
void TMainForm::rbTmDiskClick() { SetMode(tmDisk); }

void TMainForm::btnBrowseClick() {
  std::string folder = FolderOf(TextOf(ebInstallProg));
  if (folder.empty() || !platform::FolderExists(folder)) folder = instPath;
  char file[MAX_PATH] = "";
  OPENFILENAMEA dialog{};
  dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;  // the size every version takes
  dialog.hwndOwner = hwnd_;
  dialog.lpstrFilter = "EXE files\0*.EXE\0";
  dialog.lpstrFile = file;
  dialog.nMaxFile = sizeof file;
  dialog.lpstrInitialDir = folder.c_str();
  dialog.lpstrTitle = "Choose Install Program";
  dialog.lpstrDefExt = "EXE";
  dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  if (!GetOpenFileNameA(&dialog)) return;
  SetWindowTextA(ebInstallProg, file);
  instPath = WithTrailingBackslash(FolderOf(file));
}

void TMainForm::btnSelectClick() {
  char file[MAX_PATH] = "";
  OPENFILENAMEA dialog{};
  dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  dialog.hwndOwner = hwnd_;
  dialog.lpstrFilter = "Text report files\0*.TXT\0Comma separated value files\0*.CSV\0";
  dialog.nFilterIndex = lastRept;
  dialog.lpstrFile = file;
  dialog.nMaxFile = sizeof file;
  dialog.lpstrInitialDir = reptPath.c_str();
  dialog.lpstrTitle = "Choose Report Filename";
  dialog.lpstrDefExt = "TXT";
  dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  if (!GetSaveFileNameA(&dialog)) return;

  const std::string extension = UpperExtension(file);
  if (extension != ".TXT" && extension != ".CSV") {
    MessageWithBeep(hwnd_,
                    "Your report filename must have an extension of .TXT (for a text report) or "
                    ".CSV (for a comma-separated values report).",
                    "Vortan4", MB_OK | MB_ICONERROR);
    return;
  }
  lastRept = extension == ".TXT" ? 1 : 2;
  reportIsText = lastRept == 1;
  char full[MAX_PATH] = "";
  DWORD length = GetFullPathNameA(file, sizeof full, full, nullptr);
  SetWindowTextA(ebReportName, length > 0 && length < sizeof full ? full : file);
}

void TMainForm::ebReportNameChange() {
  SetWindowTextA(lbReportName, TextOf(ebReportName).c_str());
}

// The list editors, the default folders dialog and the about box open from these.
void TMainForm::btnDiskClick() {}
void TMainForm::btnINIClick() {}
void TMainForm::btnRegClick() {}
void TMainForm::btnPathClick() {}
void TMainForm::btnAboutClick() {}

void TMainForm::btnHelpClick() { WinHelpA(hwnd_, HelpFile().c_str(), HELP_FINDER, 0); }

void TMainForm::aPrepareUpdate() {
  const bool modeChosen = SendMessageA(rbTmReal, BM_GETCHECK, 0, 0) == BST_CHECKED ||
                          SendMessageA(rbTmTime, BM_GETCHECK, 0, 0) == BST_CHECKED ||
                          SendMessageA(rbTmDisk, BM_GETCHECK, 0, 0) == BST_CHECKED;
  const bool enable =
      modeChosen && (installType > itNone || SendMessageA(ebParams, WM_GETTEXTLENGTH, 0, 0) == 0);
  if ((IsWindowEnabled(btnInstall) != FALSE) != enable) EnableWindow(btnInstall, enable);
}

void TMainForm::aPrepareExecute() {
  if (!IsWindowEnabled(btnInstall)) return;  // a posted click reaches a disabled button
  phase = phRecording;
  statMask = ModeMask(trackMode, installType);
  PutStatMaskInForce(statMask);
  ShowPage(1);
  if (!RecordPreInstallState()) return;  // the program is being closed

  MoveStatusEye(3);
  ShowStatus("Installation in progress");
  phase = phInstalling;
  GetSystemTimeAsFileTime(&startTime);
  if (installType != itNone) {
    LaunchInstallProgram();
    ShowWindow(hwnd_, SW_MINIMIZE);
  } else if (trackMode == tmReal) {
    // Real-time tracking starts here once the trap driver is there.
    EnableWindow(btnInstDone, TRUE);
    SetWindowTextA(stPlease, "Click the Install Complete button when you are ready to stop tracking.");
    ShowWindow(stPlease, SW_SHOW);
    StartTimer(IDT_tmr5Min);
  } else {
    MessageWithBeep(hwnd_,
                    "Vortan4 has completed its pre-installation data recording, and will now "
                    "terminate. When the installation or other tracked activity is complete, "
                    "launch Vortan4 again to receive a report.",
                    "Information", MB_OK | MB_ICONINFORMATION);
    phase = phDone;
    twoPhase = tpTwoPhase;
    WriteContinuation(settings, CurrentContinuation(tpTwoPhase));
    Close();
  }
}

bool TMainForm::RecordPreInstallState() {
  const engines::ProgressCallback progress = [this](const std::string& text) { ShowStatus(text); };
  if (statMask & 0x001) {
    MoveStatusEye(0);
    if (!engines::SnapshotWatchedIniFiles(inis.entries, tempPath, ".$$1", progress)) return false;
  }
  if (statMask & 0x002) {
    MoveStatusEye(1);
    engines::SnapshotRegistry(tempPath + engines::kRegistryListingBase, ".$$1", regs, progress);
    if (engines::AbortRequested()) return false;
  }
  if (statMask & 0x004) {
    MoveStatusEye(2);
    engines::SnapshotDisks(tempPath + engines::kDiskListingBase + ".$$1", drives, progress);
    if (engines::AbortRequested()) return false;
  }
  return true;
}

void TMainForm::LaunchInstallProgram() {
  LaunchRequest request;
  const std::string program = TextOf(ebInstallProg);
  const std::string parameters = TextOf(ebParams);
  request.commandLine = parameters.empty() ? program : program + " " + parameters;
  request.workingFolder = FolderOf(program);
  request.realTime = trackMode == tmReal;
  request.processKey = processKey;
  request.notifyWindow = hwnd_;
  request.allStop = AllStopEvent();
  launchOwner_ = std::make_unique<TLaunchProgThread>(request);
  launchThread = launchOwner_.get();
}

void TMainForm::WatchEnded(LPARAM sender) {
  if (launchThread && sender == reinterpret_cast<LPARAM>(launchThread)) launchThread->WatchEnded();
}

void TMainForm::LaunchEnded(LPARAM sender) {
  if (!launchOwner_ || sender != reinterpret_cast<LPARAM>(launchOwner_.get())) return;
  launchOwner_->Finish();
  launchOwner_.reset();
  launchThread = nullptr;  // ended: the close question no longer speaks of it
  RunPostInstall(Sender::LaunchThread);
}

void TMainForm::btnInstDoneClick() { EndInstallPhase(); }

void TMainForm::tmr5MinTimer() {
  StopTimer(IDT_tmr5Min);  // it fires once
  EndInstallPhase();
}

void TMainForm::EndInstallPhase() {
  EnableWindow(btnInstDone, FALSE);
  ShowWindow(stPlease, SW_HIDE);
  StopTimer(IDT_tmr5Min);
  // In real-time mode, tracking stops here once the trap driver is there.
  RunPostInstall(Sender::Window);
}

void TMainForm::RunPostInstall(Sender sender) {
  // A Windows session that is ending: the work is done after the restart.
  if (endSessionKind != esNone && !(trackMode == tmReal && restartChoice != 0)) return;
  if (IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
  if (statMask == 0) {
    ShowReportPreview();
    ShowPage(2);
    phase = phDone;
    return;
  }
  if (sender == Sender::LaunchThread) {
    EnableWindow(btnInstDone, TRUE);
    ShowWindow(stPlease, SW_SHOW);
    MessageBeep(MB_ICONEXCLAMATION);
    return;
  }
  phase = phProcessing;
  if (statMask & 0x010) {
    MoveStatusEye(4);
    const engines::ProgressCallback progress = [this](const std::string& text) { ShowStatus(text); };
    if (!engines::SnapshotWatchedIniFiles(inis.entries, tempPath, ".$$2", progress)) return;
  }

  // The preview comes whatever happens to the report; an error is shown after it.
  struct Finish {
    TMainForm& form;
    ~Finish() {
      form.ShowReportPreview();
      form.ShowPage(2);
      form.phase = phDone;
      form.twoPhase = tpNone;
    }
  } finish{*this};
  report::StepDisplay display;
  display.moveStatusEye = [this](int step) { MoveStatusEye(step); };
  display.showStatus = [this](const std::string& text) { ShowStatus(text); };
  report::WritePostInstallReport(MakeTrackingRun(), display);
}

report::TrackingRun TMainForm::MakeTrackingRun() const {
  report::TrackingRun run;
  run.statMask = statMask;
  run.supplement = twoPhase == tpSupplement;
  run.reportName = TextOf(ebReportName);
  run.reportIsText = reportIsText;
  run.programFolder = programFolder;
  run.reportFolder = reptPath;
  run.tempFolder = tempPath;
  run.watchedFolders = drives;
  run.watchedInis = inis.entries;
  run.ignoredKeys = regs;
  run.startTime = engines::FileTimeValue(startTime);
  report::HeaderFacts& header = run.header;
  header.description = TextOf(ebName);
  header.installProgram = TextOf(ebInstallProg);
  header.versionText = report::GetFileVersionText();
  header.windowsText = windows.text;
  header.trackMode = trackMode;
  header.twoPhase = twoPhase;
  header.installType = installType;
  header.watchedFolders = drives.entries;
  GetLocalTime(&header.now);
  return run;
}

void TMainForm::ShowReportPreview() {
  std::string text;
  try {
    platform::BufferedReader report(TextOf(ebReportName));
    std::string line;
    while (report.ReadLine(line)) text += line + "\r\n";
  } catch (const platform::IoError&) {
    // No report file: an empty preview; the error that kept it from being written follows.
  }
  SetWindowTextA(meRept, text.c_str());
}

// One second after a refused end of the Windows session, during an install: the session
// is saved and continues after the restart, which the program then asks for itself.
void TMainForm::tmrReadyRestTimer() {
  StopTimer(IDT_tmrReadyRest);
  StopTimer(IDT_tmr5Min);
  if (installType != itNone) SetEvent(AllStopEvent());
  // The watch threads end at once; their notices and the launch thread's are served here.
  while (launchOwner_) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    if (platform::DeliverPendingMessages()) return;  // the program is being closed
  }
  phase = phDone;
  // Real-time reporting will write its report before the restart once the trap driver is
  // there; until then its session ends with the restart.
  if (trackMode != tmReal) {
    twoPhase = tpRestart;
    WriteRunOnceEntry();
    WriteContinuation(settings, CurrentContinuation(tpRestart));
  }
  StartTimer(IDT_tmrRestart);
}

void TMainForm::tmrRestartTimer() {
  StopTimer(IDT_tmrRestart);
  Close();  // done: no question, no snapshot deleted, then the restart or log-off
}

void TMainForm::StartTimer(int id) {
  for (const TimerInterval& timer : kTimers)
    if (timer.id == id) SetTimer(hwnd_, id, timer.milliseconds, nullptr);
}

void TMainForm::StopTimer(int id) { KillTimer(hwnd_, id); }

void TMainForm::btnLaunchClick() {
  const std::string report = TextOf(ebReportName);
  if (platform::OpenWithShell(hwnd_, report, FolderOf(report)) <= 32)
    MessageWithBeep(hwnd_, "Unable to open " + report + ".", "Vortan4", MB_OK | MB_ICONERROR);
}

void TMainForm::Close() {
  if (!FormCloseQuery()) return;
  FormClose();
  DestroyWindow(hwnd_);
}

bool TMainForm::FormCloseQuery() {
  if (phase == phSetup || phase == phDone) return true;
  const bool halts = launchThread && launchThread->Debugging();
  MessageBeep(MB_ICONQUESTION);
  const char* text =
      halts ? "Vortan4 is tracking an install program at this time, with the ability to detect "
              "secondary install programs. Because this ability is enabled, closing Vortan4 will "
              "*HALT* the install program. This is not recommended. Do you really want to close "
              "Vortan4?"
            : "Vortan4 is tracking an install program at this time. If you close Vortan4, you "
              "will not get a report on this installation. Do you really want to close Vortan4?";
  return MessageBoxA(hwnd_, text, halts ? "Warning" : "Confirm",
                     MB_YESNO | (halts ? MB_ICONWARNING : MB_ICONQUESTION)) == IDYES;
}

void TMainForm::FormClose() {
  // Real-time tracking, once there is any, stops here.
  if (twoPhase == tpNone && deleteTempFiles)
    for (const std::string& file : SnapshotFiles(tempPath, inis.entries))
      platform::DeleteFileIfPresent(file);
  if (endSessionKind == esRestart)
    platform::EndWindowsSession(EWX_REBOOT);
  else if (endSessionKind == esLogoff)
    platform::EndWindowsSession(EWX_LOGOFF);
}

void TMainForm::FormDestroy() {
  struct EndLoop {
    bool ends;
    ~EndLoop() {
      if (ends) PostQuitMessage(0);
    }
  } endLoop{endsProgram};
  for (const TimerInterval& timer : kTimers) StopTimer(timer.id);
  WinHelpA(hwnd_, HelpFile().c_str(), HELP_QUIT, 0);
  MainSettings values;
  values.lastRept = lastRept;
  values.instPath = instPath;
  WriteReportKindAndInstallFolder(settings, values);
  SaveWindowPlacement(hwnd_, settings, settingsSection, false);
}

LRESULT TMainForm::FormQueryEndSession(LPARAM flags) {
  if (endSessionKind != esNone) return TRUE;
  endSessionKind = static_cast<DWORD>(flags) == ENDSESSION_LOGOFF ? esLogoff : esRestart;
  if (phase == phInstalling) StartTimer(IDT_tmrReadyRest);
  return FALSE;
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
