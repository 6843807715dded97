#include "app/mainu.h"
#include "app/mainu_ids.h"
#include "platform/messages.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "realtime/vorttrap.h"

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

LRESULT TMainForm::FormQueryEndSession(LPARAM flags) {
  if (endSessionKind != esNone) return TRUE;
  endSessionKind = static_cast<DWORD>(flags) == ENDSESSION_LOGOFF ? esLogoff : esRestart;
  if (phase == phInstalling) StartTimer(IDT_tmrReadyRest);
  return FALSE;
}

// One second after a refused end of the Windows session, during an install: the session
// is saved and continues after the restart, which the program then asks for itself.
void TMainForm::tmrReadyRestTimer() {
  StopTimer(IDT_tmrReadyRest);
  StopTimer(IDT_tmr5Min);
  realtime::StopRealTimeTracking();
  if (installType != itNone) SetEvent(AllStopEvent());
  // The watch threads end at once; their notices and the launch thread's are served here.
  while (launchThread) {
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

}  // namespace app
