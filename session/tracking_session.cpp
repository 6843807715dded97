#include "session/tracking_session.h"

#include <exception>

#include "engines/disk.h"
#include "engines/ini.h"
#include "engines/registry.h"
#include "engines/together.h"
#include "platform/registry.h"
#include "platform/system.h"

namespace session {

TrackingSession::TrackingSession(std::string tempFolder, realtime::DriverSource driver)
    : tempFolder_(std::move(tempFolder)), snapshots_(tempFolder_), driver_(std::move(driver)) {}

TrackingSession::~TrackingSession() { StopRealTime(); }

bool TrackingSession::RecordBefore(const TrackingRun& run, StatMask steps,
                                   const report::StepDisplay& display) {
  if (HasStep(steps, stIniBefore)) {
    display.moveStatusEye(stIniBefore);
    if (!engines::SnapshotWatchedIniFiles(run.watchedInis, tempFolder_,
                                          SnapshotNames::Extension(When::Before),
                                          display.showStatus))
      return false;
  }
  const engines::Walk registry = [&](const engines::ProgressCallback& shown) {
    engines::SnapshotRegistry(snapshots_.RegistryBase(), SnapshotNames::Extension(When::Before),
                              run.ignoredKeys, shown, display.registryError);
  };
  const engines::Walk disk = [&](const engines::ProgressCallback& shown) {
    engines::SnapshotDisks(snapshots_.Disk(When::Before), run.watchedFolders, shown);
  };
  const bool withRegistry = HasStep(steps, stRegistryBefore);
  const bool withDisk = HasStep(steps, stDiskBefore);
  // The INI step asked after each file. Nothing else to record (real-time tracking): the
  // launch goes ahead at once.
  if (!withRegistry && !withDisk) return true;
  display.moveStatusEye(withRegistry ? stRegistryBefore : stDiskBefore);
  if (RecordsTogether(steps, When::Before)) {
    const std::exception_ptr diskFailure = engines::RunTogether(
        registry, disk, display.showStatus, [&] { display.moveStatusEye(stDiskBefore); });
    if (diskFailure) std::rethrow_exception(diskFailure);
  } else if (withRegistry) {
    registry(display.showStatus);
  } else {
    disk(display.showStatus);
  }
  return !engines::AbortRequested();
}

realtime::StartResult TrackingSession::StartRealTime() {
  std::lock_guard<std::mutex> hold(trackingLock_);
  if (tracking_) found_ = tracking_->Stop();
  tracking_.reset();  // one run in force at a time
  tracking_ = std::make_unique<realtime::RealTimeTracking>(CopiesFolder(), driver_);
  return tracking_->Started();
}

std::string TrackingSession::RealTimeFailure() const {
  std::lock_guard<std::mutex> hold(trackingLock_);
  return tracking_ ? tracking_->Failure() : found_.failure;
}

void TrackingSession::StopRealTime() {
  std::lock_guard<std::mutex> hold(trackingLock_);
  if (!tracking_) return;
  found_ = tracking_->Stop();
  tracking_.reset();
}

std::unique_ptr<TLaunchProgThread> TrackingSession::Launch(LaunchRequest request) {
  LaunchHooks hooks;
  hooks.registerProcess = [](uint32_t identity, HANDLE) { realtime::RegisterProcess(identity); };
  hooks.startTracking = [this, window = request.notifyWindow] {
    const realtime::StartResult started = StartRealTime();
    if (started != realtime::srStarted)
      PostMessageA(window, WM_TRACKINGNOTSTARTED, static_cast<WPARAM>(started), 0);
  };
  return std::make_unique<TLaunchProgThread>(std::move(request), std::move(hooks));
}

void TrackingSession::ContinueAtNextLogOn(const std::string& currentVersionKey) {
  if (currentVersionKey.empty()) return;
  platform::WriteStringValue(HKEY_CURRENT_USER, currentVersionKey.substr(1) + "\\RunOnce",
                             "VORTAN4", platform::ModulePath());
}

void TrackingSession::AppendRestartIgnored(const TrackingRun& run) {
  const std::string companion = CompanionName(run);
  report::ReportStreams streams(run.reportIsText ? run.reportName : companion,
                                run.reportIsText ? companion : run.reportName,
                                platform::BufferedWriter::Mode::Append);
  const char line[] = "Changes during Windows restart ignored.";
  streams.text.WriteLine(line);
  streams.WriteCsvRow({"Header", line});
  streams.text.Close();
  streams.csv.Close();
}

bool TrackingSession::RecordAfterAndReport(const TrackingRun& run,
                                           const report::StepDisplay& display) {
  StopRealTime();
  if (HasStep(run.statMask, stIniAfter)) {
    display.moveStatusEye(stIniAfter);
    if (!engines::SnapshotWatchedIniFiles(run.watchedInis, tempFolder_,
                                          SnapshotNames::Extension(When::After),
                                          display.showStatus))
      return false;
  }
  realtime::TrackingResults found;
  {
    std::lock_guard<std::mutex> hold(trackingLock_);
    found = std::exchange(found_, {});
  }
  WritePostInstallReport(run, display, std::move(found));
  return true;
}

}  // namespace session
