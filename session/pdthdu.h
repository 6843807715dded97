#pragma once
// The threads that start the install program and watch it and every program it starts,
// the AllStop event that releases them, and the process key real-time tracking needs.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "report/session.h"
#include "platform/owners.h"
#include "platform/process.h"

namespace session {

// "Quennel VORTAN4 AllStop Event": manual-reset, made non-signalled at the first call
// (the program makes it before any window exists); set to release every watch thread.
HANDLE AllStopEvent();

// The key that relates process ids to the ids real-time tracking sees; 0 on NT. On
// Windows 95/98 the trap driver tells it, or it is derived from the system's own data;
// false when neither can be had. driverFailure: why the driver could not be opened, for the
// window to show.
bool ObtainProcessKey(WindowsType windows, uint32_t& key, std::string& driverFailure);

// Starting the install program and watching it and every program it starts. The launch
// thread creates the process under the debugging interface, which reports each program
// started below it; a watch thread waits for each one. Both kinds of thread report to
// the main window by posted messages, so their notices run on the main thread in the
// order the threads end.

// Their notices: wParam unused, lParam the TLaunchProgThread concerned.
constexpr UINT WM_WATCHENDED = WM_APP + 20;   // a watch thread ended
constexpr UINT WM_LAUNCHENDED = WM_APP + 21;  // the launch thread ended
// Posted when real-time tracking could not start on the launch thread; wParam the result.
constexpr UINT WM_TRACKINGNOTSTARTED = WM_APP + 31;

// The install program's path in quotes, then a blank and its parameters: unquoted, the
// system would try "C:\Program.exe" first for "C:\Program Files\Acme\setup.exe".
std::string InstallCommandLine(const std::string& program, const std::string& parameters);

// Whether the process list shows a program started by one of `started` (every process the
// launch thread has had a create-process event for) that is not among `running` (those whose
// exit event has not come yet): a program whose create-process event is still on its way.
bool ChildNotSeenYet(const std::vector<platform::SystemProcess>& list,
                     const std::set<DWORD>& started, const std::set<DWORD>& running);

struct LaunchRequest {
  std::string commandLine;    // InstallCommandLine
  std::string workingFolder;  // with a trailing backslash
  bool realTime = false;
  uint32_t processKey = 0;
  HWND notifyWindow = nullptr;
  HANDLE allStop = nullptr;   // set to release every watch thread at once
};

// registerProcess is called for each process the launch watches, on its watch thread
// (real-time tracking records the process's name). startTracking is called once the first process
// exists, and is done before the install can do anything: under the debugging interface it
// runs on a thread of its own while the system loads the install's libraries, and the
// install is held at its loader breakpoint until it is done.
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
  // Main thread, on WM_LAUNCHENDED: waits for the launch thread and the watches to be gone.
  void Finish();

  bool Debugging() const { return debugging_; }  // the install runs under the debugging interface
  long LiveWatches() const { return liveWatches_; }
  // Once the thread has ended: the system's error code when neither start of the install
  // program succeeded, 0 when it ran.
  DWORD StartError() const { return startError_; }

 private:
  void Run();
  void DebugLoop();
  // With no watch left: whether the loop may stop after no event has come for quietMs.
  bool Settled(DWORD quietMs) const;
  // How to continue after an exception event of a debugged process.
  DWORD ContinueException(const DEBUG_EVENT& event);
  // Each process's first breakpoint, once: its image and DLLs are loaded, none of its own
  // code has run yet.
  void FirstBreakpoint(const DEBUG_EVENT& event, HANDLE process, HANDLE thread);
  // Launch thread: a watch thread that owns the handle and waits for the process or AllStop.
  void StartWatch(platform::Handle process, DWORD processId);
  // Launch thread: waits for startTracking to be done (at once when it is).
  void WaitForTrackingStart();

  const LaunchRequest request_;
  const LaunchHooks hooks_;
  std::atomic<bool> debugging_{false};
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{false};
  std::atomic<long> liveWatches_{0};
  DWORD startError_ = 0;
  // Each process's own handles (the debugger's) until its first breakpoint; launch thread only.
  struct DebuggeeHandles {
    HANDLE process;
    HANDLE thread;
  };
  std::map<DWORD, DebuggeeHandles> beforeFirstBreakpoint_;
  // The processes the loop has had a create-process event for, and those of them whose exit
  // event has not come yet; launch thread only.
  std::set<DWORD> started_, running_;
  std::thread thread_;
  std::thread trackingStart_;  // startTracking beside a debugged launch
  std::vector<std::thread> watches_;  // added by the launch thread, joined after it
};

}  // namespace session
