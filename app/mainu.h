#pragma once
// The main window: one tracking session (session/tracking_session.h) shown from setup
// through progress to the report preview, on the three pages of the notebook nbMain. The
// session does the work; the window shows its steps and what went wrong. Split by job:
//   mainu.cpp          start-up, the setup page, the status line and pages, closing
//   mainu_controls.cpp every control in one table (member, id, help, hint), styling, drawing
//   mainu_session.cpp  "&GO!" and the session's steps: the recording before the install,
//                      the launch, the hand-over to the report and its preview
//   mainu_options.cpp  the buttons that open the option dialogs and the about box
//   mainu_restart.cpp  a session continued at the next start, and the end of the Windows
//                      session during an install
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/install_program.h"
#include "app/settings.h"
#include "dialogs/form.h"
#include "engines/helpers.h"
#include "report/session.h"
#include "report/step_display.h"
#include "session/pdthdu.h"
#include "session/tracking_session.h"

namespace app {

using dialogs::Binding;
using dialogs::ControlRow;
using dialogs::Form;
using dialogs::MakeBoldFont;
using dialogs::MessageWithBeep;
// The launch of the install program (session/pdthdu.h), as the window starts and hears it.
using session::AllStopEvent, session::InstallCommandLine, session::LaunchRequest,
    session::ObtainProcessKey, session::TLaunchProgThread, session::WM_LAUNCHENDED,
    session::WM_TRACKINGNOTSTARTED, session::WM_WATCHENDED;

class MainFormProbe;  // defined by the in-process tests

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
  void ShowStatus(const std::string& text);  // at once
  // The engines report every folder and key, far more often than anyone can read: their
  // text reaches the status line at once when the line has not changed for a tenth of a
  // second, else it waits until then (a timer puts it once messages are delivered), and
  // the last one is put when its step ends (the eye moves, or the page changes).
  void ShowProgress(const std::string& text);
  void MoveStatusEye(int row);
  std::string MakeReportName() const;
  void PutStatMaskInForce(StatMask mask);  // enables the rows whose bit is set
  void ShowPage(int page);                 // 0 setup, 1 progress, 2 report preview
  int ActivePage() const { return activePage_; }
  // Asks the close question where the phase calls for it, then closes.
  void Close();

  // The post-install work: called by "Install &Complete", the five-minute timer and the
  // continuation (the window as sender), and when the install program has ended (the
  // launch thread as sender, which only makes "Install &Complete" available).
  enum class Sender { Window, LaunchThread };
  void RunPostInstall(Sender sender);
  // The last step of the report that precedes a restart in real-time mode: the chosen
  // supplement's recording, the continuation and the restart.
  void PrepareRestart();

  // The controls, under their component names. Every page:
  HWND imgMain{}, bvlMain{}, btnHelp{}, btnAbout{};
  // Page 0 "InstallAProg".
  HWND ebInstallProg{}, btnBrowse{}, ebParams{}, ebName{}, ebReportName{}, btnSelect{};
  HWND lbExeType{}, gbTrackMode{}, rbTmReal{}, rbTmTime{}, rbTmDisk{};
  HWND gbTrackOpt{}, btnDisk{}, btnINI{}, btnReg{}, btnPath{}, btnInstall{}, btnCancel{};
  // Page 1 "ReadyInstall".
  HWND lbStat[kStepCount]{};
  HWND pnlStatEye{}, imStatEye{}, lbStatus{}, btnInstDone{}, stPlease{}, btnCancel2{};
  // Page 2 "ProgComplete".
  HWND meRept{}, lbReportName{}, btnLaunch{}, btnDone{}, btnPackage{}, btnUndo{}, btnUndoOld{},
      btnPackageOld{};

 protected:
  void OnInit() override;
  bool OnCommand(int id, UINT code) override;
  void UpdateActions() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  friend class MainFormProbe;  // the in-process tests' view of the session state

  // mainu.cpp
  void FormCreate();
  bool FormCloseQuery();
  void FormClose();
  void FormDestroy();
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
  void btnLaunchClick();
  void btnPackageClick();  // an installer package of the report, into a folder chosen
  void btnUndoClick();     // the report just written
  void btnUndoOldClick();  // an earlier report, chosen with the file dialog
  void btnPackageOldClick();
  std::string ChooseEarlierReport(const char* title);  // "" when the user cancels
  void MakePackageOf(const std::string& report);
  void aPrepareUpdate();
  void UpdateModeChoices();
  void SetMode(int mode);
  void StartTimer(int id);  // IDT_tmr5Min, IDT_tmrReadyRest, IDT_tmrRestart at their intervals
  void StopTimer(int id);
  void FlushStatus();  // puts a text that ShowProgress held back; the timer IDT_tmrStatus

  // mainu_controls.cpp
  void FindControls();
  void StyleControls();
  void DrawItem(const DRAWITEMSTRUCT& item) const;
  std::string TextOf(HWND control) const;

  // mainu_session.cpp
  void aPrepareExecute();
  bool RecordPreInstallState(StatMask steps);  // false once the program is being closed
  // The eye, the status line and the registry's error box for the session's steps.
  report::StepDisplay StepDisplay();
  void LaunchInstallProgram();
  void WatchEnded(LPARAM sender);
  void LaunchEnded(LPARAM sender);
  void LaunchRefused(DWORD error);
  void btnInstDoneClick();
  void tmr5MinTimer();
  void EndInstallPhase();
  // Says at once that real-time tracking is not running, and why; the report says it too.
  void TrackingNotStarted(int32_t result);
  session::TrackingRun MakeTrackingRun() const;
  void ShowReportPreview();

  // mainu_restart.cpp
  void ContinueSession();
  Continuation CurrentContinuation(TwoPhase state) const;
  LRESULT FormQueryEndSession(LPARAM flags);
  void tmrReadyRestTimer();
  void tmrRestartTimer();
  bool WaitForTheLaunchThread();
  TrackMode ChooseRestartMode();
  void ScheduleRestart(TwoPhase state, StatMask continuationMask);

  static const Binding<TMainForm> kEvents[];
  static const ControlRow<TMainForm> kControls[];

  // The session.
  std::string settingsSection = kSettingsSection;
  std::string programFolder;  // lower case, with a trailing backslash
  std::string instPath, reptPath, tempPath;
  int lastRept = 1;  // the report's form: 1 text, 2 comma-separated
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
  // The snapshots of a declined continuation stay until a session of this run reports.
  bool oldSnapshotsPending = false;
  // From the restart handling's timer on, the session is the restart's: only the report
  // that precedes it in real-time mode is still made.
  bool restartTakenOver = false;
  bool deleteTempFiles = true;
  bool realTimeAvailable = true;  // false once the process key was refused
  // From "&GO!" (or the continuation) to the report; outlives the launch thread.
  std::unique_ptr<session::TrackingSession> session_;
  std::unique_ptr<TLaunchProgThread> launchThread;  // while the install runs
  SettingsFile settings;
  const WindowsFacts windows;

  // The window.
  std::vector<std::string> args_;
  std::string windowsFolder_;
  HWND pages_[3]{};
  int activePage_ = 0;
  platform::Font headingFont_, goFont_;
  platform::Icon eyeIcon_, windowIcon_;
  std::string statusText_;    // the latest text of ShowStatus
  bool statusHeld_ = false;   // not yet on the line
  bool statusRecent_ = false; // the line changed at statusPutAt_, in this step
  DWORD statusPutAt_ = 0;
};

// The preview shows the beginning of a long report, followed by the note. The rich edit
// control of Wine keeps 10 to 15 KB for each line of a report it shows (9 MiB for 32 KB,
// 650 lines) and takes about a second for 64 KB: 16 KB, some 300 lines, is more than
// anyone reads there, and "&Launch report" opens the whole file.
constexpr size_t kPreviewLimit = 16 * 1024;
extern const char kPreviewNote[];

}  // namespace app
