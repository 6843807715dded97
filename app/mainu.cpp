#include "app/mainu.h"

#include <commctrl.h>

#include <cstdio>

#include "app/mainu_ids.h"
#include "dialogs/folderbrowser.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "realtime/vorttrap.h"

namespace app {
namespace {

using engines::WithTrailingBackslash;

constexpr int kClientWidth = 604;
constexpr int kClientHeight = 313;
struct TimerInterval {
  int id;
  UINT milliseconds;
};
constexpr TimerInterval kTimers[] = {
    {IDT_tmr5Min, 300000}, {IDT_tmrReadyRest, 1000}, {IDT_tmrRestart, 250}};

const char kNoProgram[] = "(no program)";

bool PathExists(const std::string& path) {
  return platform::FileExists(path) || platform::FolderExists(path);
}

void InitWindowClasses() {
  // The preview's rich edit class lives in this library on every version we run on.
  static const platform::Library richEdit = [] {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    return platform::Library(LoadLibraryA("riched32.dll"));
  }();
}

}  // namespace

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
    {IDC_btnPackage, BN_CLICKED, &TMainForm::btnPackageClick},
    {IDC_btnUndo, BN_CLICKED, &TMainForm::btnUndoClick},
    {IDC_btnUndoOld, BN_CLICKED, &TMainForm::btnUndoOldClick},
    {IDC_btnPackageOld, BN_CLICKED, &TMainForm::btnPackageOldClick},
    // Every Cancel button, "&Done" and the Esc key ask the window to close.
    {IDC_btnCancel, BN_CLICKED, &TMainForm::Close},
    {IDC_btnCancel2, BN_CLICKED, &TMainForm::Close},
    {IDC_btnDone, BN_CLICKED, &TMainForm::Close},
    {IDCANCEL, BN_CLICKED, &TMainForm::Close},
    {IDT_tmr5Min, WM_TIMER, &TMainForm::tmr5MinTimer},
    {IDT_tmrReadyRest, WM_TIMER, &TMainForm::tmrReadyRestTimer},
    {IDT_tmrRestart, WM_TIMER, &TMainForm::tmrRestartTimer},
    {IDT_tmrStatus, WM_TIMER, &TMainForm::FlushStatus},
};

bool TMainForm::OnCommand(int id, UINT code) { return Dispatch(*this, kEvents, id, code); }

void TMainForm::UpdateActions() { aPrepareUpdate(); }

bool TMainForm::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
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
    case WM_TRACKINGNOTSTARTED:
      TrackingNotStarted(static_cast<int32_t>(wParam));
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
  StyleControls();
  FindControls();
  FormCreate();
  aPrepareUpdate();
}

void TMainForm::FormCreate() {
  trackMode = tmReal;
  restartChoice = 0;
  deleteTempFiles = args_.empty() || engines::LowerAscii(args_[0]) != "debug";
  phase = phSetup;
  twoPhase = tpNone;
  endSessionKind = esNone;
  installType = itNone;
  SendMessageA(rbTmReal, BM_SETCHECK, BST_CHECKED, 0);
  SetWindowTextA(ebName, kNoProgram);
  SetWindowTextA(lbExeType, InstallTypeText(itNone).c_str());
  ShowPage(0);
  MoveStatusEye(stIniBefore);

  settingsSection = kSettingsSection;
  UpdateModeChoices();

  std::string driverFailure;
  const bool keyObtained = ObtainProcessKey(windows.type, processKey, driverFailure);
  if (!driverFailure.empty()) MessageBoxA(nullptr, driverFailure.c_str(), "DEBUG", MB_OK);
  if (!keyObtained) {
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

void TMainForm::ShowStatus(const std::string& text) {
  if (text == statusText_ && !statusHeld_) return;
  statusText_ = text;
  statusHeld_ = true;
  FlushStatus();
}

void TMainForm::ShowProgress(const std::string& text) {
  constexpr DWORD kStatusInterval = 100;  // milliseconds
  if (text == statusText_ && !statusHeld_) return;
  statusText_ = text;
  const bool wasHeld = statusHeld_;
  statusHeld_ = true;
  const DWORD since = GetTickCount() - statusPutAt_;
  if (!statusRecent_ || since >= kStatusInterval)
    FlushStatus();
  else if (!wasHeld)  // shown by the timer when no text or step end comes first
    SetTimer(hwnd_, IDT_tmrStatus, kStatusInterval - since, nullptr);
}

void TMainForm::FlushStatus() {
  KillTimer(hwnd_, IDT_tmrStatus);
  if (!statusHeld_) return;
  statusHeld_ = false;
  statusRecent_ = true;
  statusPutAt_ = GetTickCount();
  SetWindowTextA(lbStatus, statusText_.c_str());
  UpdateWindow(lbStatus);
}

void TMainForm::MoveStatusEye(int row) {
  // The step that ends shows its last text; the next one shows its first at once.
  FlushStatus();
  statusRecent_ = false;
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
  FlushStatus();
  statusRecent_ = false;
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
    const std::string name = platform::StemOf(program);
    SetWindowTextA(ebName, program.empty() || installType < 0 ? kNoProgram : name.c_str());
  }
  SetWindowTextA(lbExeType, InstallTypeText(installType).c_str());
}

void TMainForm::rbTmRealClick() { SetMode(tmReal); }

void TMainForm::rbTmTimeClick() { SetMode(tmTime); }

void TMainForm::rbTmDiskClick() { SetMode(tmDisk); }

void TMainForm::btnBrowseClick() {
  std::string folder = platform::FolderOf(TextOf(ebInstallProg));
  if (folder.empty() || !platform::FolderExists(folder)) folder = instPath;
  dialogs::FileChoosing choosing;
  choosing.title = "Choose Install Program";
  choosing.filter = "EXE files\0*.EXE\0";
  choosing.folder = folder;
  choosing.defaultExtension = "EXE";
  choosing.flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
  const std::string file = dialogs::ChooseFileToOpen(hwnd_, choosing);
  if (file.empty()) return;
  SetWindowTextA(ebInstallProg, file.c_str());
  instPath = WithTrailingBackslash(platform::FolderOf(file));
}

void TMainForm::btnSelectClick() {
  dialogs::FileChoosing choosing;
  choosing.title = "Choose Report Filename";
  choosing.filter = "Text report files\0*.TXT\0Comma separated value files\0*.CSV\0";
  choosing.filterIndex = lastRept;
  choosing.folder = reptPath;
  choosing.defaultExtension = "TXT";
  choosing.flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
  const std::string file = dialogs::ChooseFileToSave(hwnd_, choosing);
  if (file.empty()) return;

  const std::string extension = platform::UpperExtension(file);
  if (extension != ".TXT" && extension != ".CSV") {
    MessageWithBeep(hwnd_,
                    "Your report filename must have an extension of .TXT (for a text report) or "
                    ".CSV (for a comma-separated values report).",
                    "Vortan4", MB_OK | MB_ICONERROR);
    return;
  }
  lastRept = extension == ".TXT" ? 1 : 2;
  char full[MAX_PATH] = "";
  DWORD length = GetFullPathNameA(file.c_str(), sizeof full, full, nullptr);
  SetWindowTextA(ebReportName, length > 0 && length < sizeof full ? full : file.c_str());
}

void TMainForm::ebReportNameChange() {
  SetWindowTextA(lbReportName, TextOf(ebReportName).c_str());
}

void TMainForm::btnHelpClick() { ShowHelp(0); }

void TMainForm::aPrepareUpdate() {
  const bool modeChosen = SendMessageA(rbTmReal, BM_GETCHECK, 0, 0) == BST_CHECKED ||
                          SendMessageA(rbTmTime, BM_GETCHECK, 0, 0) == BST_CHECKED ||
                          SendMessageA(rbTmDisk, BM_GETCHECK, 0, 0) == BST_CHECKED;
  const bool enable =
      modeChosen && (installType > itNone || SendMessageA(ebParams, WM_GETTEXTLENGTH, 0, 0) == 0);
  if ((IsWindowEnabled(btnInstall) != FALSE) != enable) EnableWindow(btnInstall, enable);
}

void TMainForm::StartTimer(int id) {
  for (const TimerInterval& timer : kTimers)
    if (timer.id == id) SetTimer(hwnd_, id, timer.milliseconds, nullptr);
}

void TMainForm::StopTimer(int id) { KillTimer(hwnd_, id); }

void TMainForm::btnLaunchClick() {
  const std::string report = TextOf(ebReportName);
  if (platform::OpenWithShell(hwnd_, report, platform::FolderOf(report)) <= 32)
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
  if (session_) session_->StopRealTime();
  if (twoPhase == tpNone && !oldSnapshotsPending && deleteTempFiles)
    for (const std::string& file : session::SnapshotNames(tempPath).All(inis.entries))
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

}  // namespace app
