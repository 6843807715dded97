#pragma once
// One tracking session, from "&GO!" to the report: the recording of the watched places
// before the install, real-time tracking while it runs, and after it the recording again,
// the compares, the report and its undo data. The main window shows its steps and says
// what went wrong; the session shows nothing itself.
#include <memory>
#include <mutex>
#include <string>

#include "realtime/vorttrap.h"
#include "report/step_display.h"
#include "session/pdthdu.h"
#include "session/postinst.h"
#include "session/snapshots.h"

namespace session {

class TrackingSession {
 public:
  // The session's places; the temporary folder holds its snapshots. driver: where real-time
  // tracking opens the trap driver (the file beside the program unless told otherwise).
  explicit TrackingSession(std::string tempFolder, realtime::DriverSource driver = {});
  ~TrackingSession();

  // Every snapshot file of the session, for the given INI files.
  std::vector<std::string> SnapshotFiles(const std::vector<std::string>& iniFiles) const {
    return snapshots_.All(iniFiles);
  }
  // Where real-time tracking keeps copies of files before the install changes them.
  std::string CopiesFolder() const { return tempFolder_ + realtime::kBackupFolderName; }

  // The recording before the install: the INI files, the registry and the disks, as the
  // steps say. False once the program is being closed.
  bool RecordBefore(const TrackingRun& run, StatMask steps, const report::StepDisplay& display);

  // Starts real-time tracking, from any thread; a running tracking is stopped first.
  realtime::StartResult StartRealTime();
  // Why real-time tracking did not start, in words for the user; "" when it runs.
  std::string RealTimeFailure() const;
  // Stops it and keeps what it found for the report. Nothing when it does not run.
  void StopRealTime();


  // Starts the install program as asked, watched by the launch thread. In real-time mode
  // tracking starts on that thread once the install exists and before it runs, and each of
  // its processes is named while it runs; a start that failed is posted to the request's
  // window (WM_TRACKINGNOTSTARTED). The session must outlive the launch thread.
  std::unique_ptr<TLaunchProgThread> Launch(LaunchRequest request);

  // A session that goes on after a restart of Windows. The system starts the program once
  // at the next log-on (the RunOnce entry below the current-version key, "" for none).
  static void ContinueAtNextLogOn(const std::string& currentVersionKey);
  // The report written before the restart ends with "Changes during Windows restart
  // ignored." in both forms, when no supplement follows.
  static void AppendRestartIgnored(const TrackingRun& run);

  // The work after the install: the INI files recorded again, then the compares and the
  // report (WritePostInstallReport) with what real-time tracking found. False when the
  // program is being closed before the report begins.
  bool RecordAfterAndReport(const TrackingRun& run, const report::StepDisplay& display);

 private:
  std::string tempFolder_;
  SnapshotNames snapshots_;
  realtime::DriverSource driver_;
  // Started on the launch thread, stopped on the window's.
  mutable std::mutex trackingLock_;
  std::unique_ptr<realtime::RealTimeTracking> tracking_;
  realtime::TrackingResults found_;
};

}  // namespace session
