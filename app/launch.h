#pragma once
// Starting the install program and watching it and every program it starts. The launch
// thread creates the process under the debugging interface, which reports each program
// started below it; a watch thread waits for each one. Both kinds of thread report to
// the main window by posted messages, so their notices run on the main thread in the
// order the threads end.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "platform/owners.h"

namespace app {

// wParam unused, lParam the TLaunchProgThread concerned.
constexpr UINT WM_WATCHENDED = WM_APP + 20;   // a watch thread ended
constexpr UINT WM_LAUNCHENDED = WM_APP + 21;  // the launch thread ended

struct LaunchRequest {
  std::string commandLine;    // the install program as typed, then a blank and its parameters
  std::string workingFolder;  // with a trailing backslash
  bool realTime = false;
  uint32_t processKey = 0;
  HWND notifyWindow = nullptr;
  HANDLE allStop = nullptr;   // set to release every watch thread at once
};

// Called on the launch thread for each process it will watch (real-time tracking records
// the process's name), and once the first process exists (tracking starts before the
// install can do anything).
struct LaunchHooks {
  std::function<void(uint32_t identity, HANDLE process)> registerProcess;
  std::function<void()> startTracking;
};

class TLaunchProgThread {
 public:
  TLaunchProgThread(LaunchRequest request, LaunchHooks hooks = {});
  // Tells the thread to stop and waits for it. Watch threads still running end with
  // their process; a plain launch's one watch is released through AllStop.
  ~TLaunchProgThread();
  TLaunchProgThread(const TLaunchProgThread&) = delete;
  TLaunchProgThread& operator=(const TLaunchProgThread&) = delete;

  // Main thread, on WM_WATCHENDED: one watch fewer; at none the launch thread stops.
  void WatchEnded();
  // Main thread, on WM_LAUNCHENDED: waits for the thread to be gone.
  void Finish();

  bool debugging() const { return debugging_; }  // the install runs under the debugging interface
  bool running() const { return !finished_; }
  long liveWatches() const { return liveWatches_; }

 private:
  void Run();
  bool CreateInstallProcess(DWORD flags, platform::Handle& process, DWORD& processId);
  // owned: the watch closes the handle when it ends.
  std::thread StartWatch(HANDLE process, DWORD processId, bool owned);

  const LaunchRequest request_;
  const LaunchHooks hooks_;
  std::atomic<bool> debugging_{false};
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{false};
  std::atomic<long> liveWatches_{0};
  std::thread thread_;
};

}  // namespace app
