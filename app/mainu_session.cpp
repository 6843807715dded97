#include "app/mainu.h"


#include "app/mainu_ids.h"
#include "engines/filetime.h"
#include "platform/ioerror.h"
#include "platform/paths.h"
#include "platform/richtext.h"

namespace app {

const char kPreviewNote[] =
    "\r\n(The preview ends here. Click the Launch report button to open the whole report.)\r\n";

namespace {

void ShowRegistryErrorBox(HWND owner, const std::string& listingPath) {
  MessageWithBeep(owner, "An error occurred while recording the registry in " + listingPath + ".",
                  "Vortan4", MB_OK | MB_ICONERROR);
}

}  // namespace

void TMainForm::aPrepareExecute() {
  if (!IsWindowEnabled(btnInstall)) return;  // a posted click reaches a disabled button
  phase = phRecording;
  statMask = ModeMask(trackMode, installType);
  PutStatMaskInForce(statMask);
  ShowPage(1);
  session_ = std::make_unique<session::TrackingSession>(tempPath);
  if (!RecordPreInstallState(statMask)) return;

  MoveStatusEye(stInstall);
  ShowStatus("Installation in progress");
  phase = phInstalling;
  GetSystemTimeAsFileTime(&startTime);
  if (installType != itNone) {
    LaunchInstallProgram();
    ShowWindow(hwnd_, SW_MINIMIZE);
  } else if (trackMode == tmReal) {
    const int32_t started = session_->StartRealTime();
    EnableWindow(btnInstDone, TRUE);
    SetWindowTextA(stPlease, "Click the Install Complete button when you are ready to stop tracking.");
    ShowWindow(stPlease, SW_SHOW);
    StartTimer(IDT_tmr5Min);
    if (started != realtime::srStarted) TrackingNotStarted(started);
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

report::StepDisplay TMainForm::StepDisplay() {
  report::StepDisplay display;
  display.moveStatusEye = [this](int step) { MoveStatusEye(step); };
  display.showStatus = [this](const std::string& text) { ShowProgress(text); };
  display.registryError = [this](const std::string& path) { ShowRegistryErrorBox(hwnd_, path); };
  return display;
}

// Nothing else to record than the INI files (real-time tracking): the launch goes ahead at
// once, and the page is drawn when the window shows again.
bool TMainForm::RecordPreInstallState(StatMask steps) {
  return session_->RecordBefore(MakeTrackingRun(), steps, StepDisplay());
}

void TMainForm::LaunchInstallProgram() {
  LaunchRequest request;
  const std::string program = TextOf(ebInstallProg);
  const std::string parameters = TextOf(ebParams);
  request.commandLine = InstallCommandLine(program, parameters);
  request.workingFolder = platform::FolderOf(program);
  request.realTime = trackMode == tmReal;
  request.processKey = processKey;
  request.notifyWindow = hwnd_;
  request.allStop = AllStopEvent();
  // Tracking starts on the launch thread; the window hears of a failed start by a message.
  launchThread = session_->Launch(request);
}

void TMainForm::WatchEnded(LPARAM sender) {
  if (launchThread && sender == reinterpret_cast<LPARAM>(launchThread.get()))
    launchThread->WatchEnded();
}

void TMainForm::LaunchEnded(LPARAM sender) {
  if (!launchThread || sender != reinterpret_cast<LPARAM>(launchThread.get())) return;
  launchThread->Finish();
  const DWORD startError = launchThread->StartError();
  launchThread.reset();  // ended: the close question no longer speaks of it
  if (startError != 0)
    LaunchRefused(startError);
  else
    RunPostInstall(Sender::LaunchThread);
}

// Nothing was installed, so there is nothing to report: the user learns why and gets the
// setup page back as it was, and this run's snapshots go.
void TMainForm::LaunchRefused(DWORD error) {
  if (IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
  MessageWithBeep(hwnd_, TextOf(ebInstallProg) + "\r\n\r\n" + platform::SystemErrorText(error),
                  "Vortan4", MB_OK | MB_ICONERROR);
  for (const std::string& file : session_->SnapshotFiles(inis.entries))
    platform::DeleteFileIfPresent(file);
  phase = phSetup;
  ShowStatus("");
  ShowPage(0);
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
  if (session_) session_->StopRealTime();
  RunPostInstall(Sender::Window);
}

void TMainForm::TrackingNotStarted(int32_t result) {
  const std::string why = session_ ? session_->RealTimeFailure() : "";
  // A driver that could not be opened is said in a box of its own.
  if (result == realtime::srNoDriver)
    MessageBoxA(nullptr, why.c_str(), "Vortan4", MB_ICONERROR | MB_OK);
  ShowStatus("Real-time tracking is not running: " + why);
  if (result != realtime::srNoDriver)
    MessageWithBeep(hwnd_,
                    "Real-time tracking could not start: " + why +
                        "\n\nThe report will say that the registry and the file system were not "
                        "tracked.",
                    "Vortan4", MB_OK | MB_ICONWARNING);
}

void TMainForm::RunPostInstall(Sender sender) {
  // Once the restart handling has the session, the work is done after the restart; only
  // real-time reporting writes its report first.
  if (restartTakenOver && !(trackMode == tmReal && restartChoice != 0)) return;
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
  if (!session_) session_ = std::make_unique<session::TrackingSession>(tempPath);
  // The preview (or the restart) comes whatever happens to the report; an error that
  // ended it is shown after.
  std::exception_ptr failure;
  try {
    if (!session_->RecordAfterAndReport(MakeTrackingRun(), StepDisplay())) return;
  } catch (...) {
    failure = std::current_exception();
  }
  if (restartChoice != 0) {
    PrepareRestart();
  } else {
    ShowReportPreview();
    ShowPage(2);
    phase = phDone;
    twoPhase = tpNone;
    oldSnapshotsPending = false;
  }
  if (failure) std::rethrow_exception(failure);
}

session::TrackingRun TMainForm::MakeTrackingRun() const {
  session::TrackingRun run;
  run.statMask = statMask;
  run.supplement = twoPhase == tpSupplement;
  run.reportName = TextOf(ebReportName);
  run.reportIsText = lastRept == 1;
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
  // No report file gives an empty preview; the error that kept it from being written follows.
  platform::StreamFileIntoRichEdit(meRept, TextOf(ebReportName), kPreviewLimit, kPreviewNote);
}

}  // namespace app
