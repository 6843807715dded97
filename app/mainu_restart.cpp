#include "app/mainu.h"
#include "app/mainu_ids.h"
#include "dialogs/restfmu.h"
#include "platform/messages.h"

namespace app {

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
    // A fresh session, not a second phase; the old snapshots stay until a session of
    // this run reports.
    twoPhase = tpNone;
    oldSnapshotsPending = true;
    EraseContinuation(settings);
    return;
  }
  const Continuation block =
      ReadContinuation(settings, TextOf(ebName), TextOf(ebReportName), TextOf(ebInstallProg));
  SetWindowTextA(ebReportName, block.reportName.c_str());
  SetWindowTextA(ebInstallProg, block.installProg.c_str());  // runs the change handling
  // After the program: its change handling names the session after the program.
  SetWindowTextA(ebName, block.reportDesc.c_str());
  startTime.dwLowDateTime = static_cast<DWORD>(block.timeLo);
  startTime.dwHighDateTime = static_cast<DWORD>(block.timeHi);
  trackMode = static_cast<TrackMode>(block.trackMode);
  statMask = static_cast<StatMask>(block.statMask);
  PutStatMaskInForce(statMask);
  session_ = std::make_unique<session::TrackingSession>(tempPath);
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

LRESULT TMainForm::FormQueryEndSession(LPARAM flags) {
  if (endSessionKind != esNone) return TRUE;
  endSessionKind = static_cast<DWORD>(flags) == ENDSESSION_LOGOFF ? esLogoff : esRestart;
  // During an install the restart handling takes the session over; at any other time the
  // session goes on and the request is carried out when the window closes.
  if (phase == phInstalling) {
    restartTakenOver = true;
    StartTimer(IDT_tmrReadyRest);
  }
  return FALSE;
}

// One second after a refused end of the Windows session, during an install: the session
// is saved and continues after the restart, which the program then asks for itself.
void TMainForm::tmrReadyRestTimer() {
  StopTimer(IDT_tmrReadyRest);
  StopTimer(IDT_tmr5Min);
  EnableWindow(btnInstDone, FALSE);
  ShowWindow(stPlease, SW_HIDE);
  if (installType != itNone) SetEvent(AllStopEvent());
  if (session_) session_->StopRealTime();
  if (!WaitForTheLaunchThread()) return;  // the program is being closed
  if (trackMode == tmReal) {
    // The report of the changes so far, then the restart (PrepareRestart).
    restartChoice = installType != itNone ? ChooseRestartMode() : tmNone;
    RunPostInstall(Sender::Window);
    return;
  }
  ScheduleRestart(tpRestart, statMask);
}

// The watch threads end at once; their notices and the launch thread's are served here.
bool TMainForm::WaitForTheLaunchThread() {
  while (launchThread) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    if (platform::DeliverPendingMessages()) return false;
  }
  return true;
}

TrackMode TMainForm::ChooseRestartMode() {
  // The choice must be seen: the window was minimised for the install.
  if (IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
  dialogs::PlacementKeeper placement;
  placement.restore = [this](HWND dialog, const std::string& section) {
    RestoreWindowPlacement(dialog, settings, section, false);
  };
  placement.save = [this](HWND dialog, const std::string& section) {
    SaveWindowPlacement(dialog, settings, section, false);
  };
  dialogs::TRtRebootForm choice(placement);
  return choice.Choose(hwnd_);
}

void TMainForm::PrepareRestart() {
  if (restartChoice == tmNone) {
    session::TrackingSession::AppendRestartIgnored(MakeTrackingRun());
  } else {
    // The supplement's baseline: the chosen mode's registry and disk recording. The INI
    // copies from the start of the session stay the INI files' baseline.
    phase = phRecording;
    SetMode(restartChoice);
    PutStatMaskInForce(ModeMask(trackMode, installType) &
                       (StepBit(stIniBefore) | StepBit(stRegistryBefore) | StepBit(stDiskBefore)));
    ShowPage(1);
    if (!RecordPreInstallState(statMask & ~StepBit(stIniBefore))) return;
  }
  MoveStatusEye(stInstall);
  ShowStatus("Restarting...");
  GetSystemTimeAsFileTime(&startTime);
  ScheduleRestart(tpSupplement,
                  restartChoice == tmNone ? 0 : ModeMask(trackMode, installType) & kMaskAfterOnly);
}

// The session continues at the next start; the window closes shortly and Windows then
// restarts (or logs the user off).
void TMainForm::ScheduleRestart(TwoPhase state, StatMask continuationMask) {
  phase = phDone;
  twoPhase = state;
  session::TrackingSession::ContinueAtNextLogOn(windows.currentVersionKey);
  Continuation block = CurrentContinuation(state);
  block.statMask = continuationMask;
  WriteContinuation(settings, block);
  StartTimer(IDT_tmrRestart);
}

void TMainForm::tmrRestartTimer() {
  StopTimer(IDT_tmrRestart);
  Close();  // done: no question, no snapshot deleted, then the restart or log-off
}

}  // namespace app
