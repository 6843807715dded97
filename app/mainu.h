#pragma once
// The main window: one tracking session from setup through progress to the report
// preview, on the three pages of the notebook nbMain.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/form.h"
#include "app/pdthdu.h"
#include "app/session.h"
#include "app/settings.h"
#include "engines/helpers.h"
#include "report/postinst.h"

namespace app {

// Posted at the end of start-up when a session of an earlier run is to be continued.
constexpr UINT WM_CONTINUESESSION = WM_APP + 30;

class TMainForm : public Form {
 public:
  // args are the command-line parameters after the program's name.
  TMainForm(const ProgramPlaces& places, const WindowsFacts& windows,
            std::vector<std::string> args);
  ~TMainForm() override;

  // Creates the window, hidden; start-up runs inside. Null when it cannot be created.
  HWND Create();
  // Set by the program's entry: closing this window then ends the message loop.
  bool endsProgram = false;

  // Operations the session and the report call.
  void ShowStatus(const std::string& text);
  void MoveStatusEye(int row);
  std::string MakeReportName() const;
  void PutStatMaskInForce(StatMask mask);  // enables the rows whose bit is set
  void ShowPage(int page);                 // 0 setup, 1 progress, 2 report preview
  int ActivePage() const { return activePage_; }
  void UpdateModeChoices();
  void StartTimer(int id);  // IDT_tmr5Min, IDT_tmrReadyRest, IDT_tmrRestart at their intervals
  void StopTimer(int id);
  // Asks the close question where the phase calls for it, then closes.
  void Close();

  // The post-install work: called by "Install &Complete", the five-minute timer and the
  // continuation (the window as sender), and when the install program has ended (the
  // launch thread as sender, which only makes "Install &Complete" available).
  enum class Sender { Window, LaunchThread };
  void RunPostInstall(Sender sender);
  // Starts the launch thread for the install program and its parameters.
  void LaunchInstallProgram();

  // Every page.
  HWND imgMain{}, bvlMain{}, btnHelp{}, btnAbout{};
  // Page 0 "InstallAProg".
  HWND ebInstallProg{}, btnBrowse{}, ebParams{}, ebName{}, ebReportName{}, btnSelect{};
  HWND lbExeType{}, gbTrackMode{}, rbTmReal{}, rbTmTime{}, rbTmDisk{};
  HWND gbTrackOpt{}, btnDisk{}, btnINI{}, btnReg{}, btnPath{}, btnInstall{}, btnCancel{};
  // Page 1 "ReadyInstall".
  HWND pnlStatEye{}, imStatEye{}, lbStatus{}, btnInstDone{}, stPlease{}, btnCancel2{};
  // Page 2 "ProgComplete".
  HWND meRept{}, lbReportName{}, btnLaunch{}, btnDone{};

  // Session state, read and written by the launch, continuation and report code.
  HWND lbStat[kStepCount]{};
  std::string settingsSection = kSettingsSection;
  std::string programFolder;  // lower case, with a trailing backslash
  std::string instPath, reptPath, tempPath;
  int lastRept = 1;  // 1 text report, 2 comma-separated report
  uint32_t processKey = 0;
  InstallType installType = itNone;
  TrackMode trackMode = tmReal;
  uint8_t restartChoice = 0;
  engines::TrackedList drives, inis, regs;
  StatMask statMask = 0;
  FILETIME startTime{};
  Phase phase = phSetup;
  EndSessionKind endSessionKind = esNone;
  TwoPhase twoPhase = tpNone;
  bool deleteTempFiles = true;
  bool reportIsText = true;
  TLaunchProgThread* launchThread = nullptr;  // while it runs

  bool realTimeAvailable = true;  // false once the process key was refused
  SettingsFile settings;
  const WindowsFacts windows;

 protected:
  void OnInit() override;
  bool OnCommand(int id, UINT code) override;
  void UpdateActions() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  void FormCreate();
  bool FormCloseQuery();
  void FormClose();
  void FormDestroy();
  LRESULT FormQueryEndSession(LPARAM flags);

  void ebInstallProgChange();
  void btnBrowseClick();
  void btnSelectClick();
  void ebReportNameChange();
  void rbTmRealClick();
  void rbTmTimeClick();
  void rbTmDiskClick();
  void btnDiskClick();
  void btnINIClick();
  void btnRegClick();
  void btnPathClick();
  void btnHelpClick();
  void btnAboutClick();
  void aPrepareUpdate();
  void aPrepareExecute();
  void btnInstDoneClick();
  void btnLaunchClick();
  void tmr5MinTimer();
  void tmrReadyRestTimer();
  void tmrRestartTimer();
  void ContinueSession();
  Continuation CurrentContinuation(TwoPhase state) const;
  void WriteRunOnceEntry() const;
  bool RecordPreInstallState();
  void EndInstallPhase();
  void LaunchEnded(LPARAM sender);
  void WatchEnded(LPARAM sender);
  report::TrackingRun MakeTrackingRun() const;
  void ShowReportPreview();

  void FindControls();
  void StyleControls();
  void DrawItem(const DRAWITEMSTRUCT& item) const;
  std::string TextOf(HWND control) const;
  void SetMode(int mode);

  static const Binding<TMainForm> kEvents[];

  std::unique_ptr<TLaunchProgThread> launchOwner_;
  std::vector<std::string> args_;
  std::string windowsFolder_;
  HWND pages_[3]{};
  int activePage_ = 0;
  FontOwner headingFont_, goFont_, boldFont_;
  HICON eyeIcon_{}, windowIcon_{};
};

// The snapshot files of a session in the temporary folder: the listings and device
// lines, and each watched INI file's copies, each before (".$$1") and after (".$$2").
std::vector<std::string> SnapshotFiles(const std::string& tempPath,
                                       const std::vector<std::string>& iniFiles);

}  // namespace app
