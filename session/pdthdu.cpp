#include "session/pdthdu.h"

#include <map>

#include "platform/process.h"
#include "platform/system.h"
#include "realtime/processes.h"
#include "realtime/vorttrap.h"

namespace session {

std::string InstallCommandLine(const std::string& program, const std::string& parameters) {
  std::string line = "\"" + program + "\"";
  return parameters.empty() ? line : line + " " + parameters;
}

HANDLE AllStopEvent() {
  static const platform::Handle event = [] {
    platform::Handle made(CreateEventA(nullptr, TRUE, FALSE, "Quennel VORTAN4 AllStop Event"));
    if (made) ResetEvent(made.get());
    return made;
  }();
  return event.get();
}

bool ObtainProcessKey(WindowsType windows, uint32_t& key, std::string& driverFailure) {
  key = 0;
  if (windows != wtWin95 && windows != wtWin98) return true;
  key = realtime::GetProcessKey(driverFailure);
  return key != 0 || realtime::DeriveProcessKey(key);
}

namespace {

// Polling with a short wait instead of none keeps the loop from taking a whole processor
// for the length of the install, and still sees the stop request, and the end of the quiet
// time below, soon after they come.
constexpr DWORD kDebugEventWaitMs = 20;
// A program may start another and end at once; the new program's create-process event
// can reach the loop after the last watch has ended. With no watch left, the loop stops
// once no event has come for kQuietMs and the system's process list shows no program
// started by the install that the loop has not seen; while it shows one, or where the
// system gives no list, once no event has come for kSettleMs.
constexpr DWORD kQuietMs = 20;
constexpr DWORD kSettleMs = 1000;

}  // namespace

bool ChildNotSeenYet(const std::vector<platform::SystemProcess>& list,
                     const std::set<DWORD>& started, const std::set<DWORD>& running) {
  for (const platform::SystemProcess& process : list)
    if (started.count(process.parentId) && !running.count(process.id)) return true;
  return false;
}

TLaunchProgThread::TLaunchProgThread(LaunchRequest request, LaunchHooks hooks)
    : request_(std::move(request)), hooks_(std::move(hooks)) {
  thread_ = std::thread([this] { Run(); });
}

TLaunchProgThread::~TLaunchProgThread() {
  stop_ = true;
  if (!finished_ && request_.allStop) SetEvent(request_.allStop);
  Finish();
}

void TLaunchProgThread::WatchEnded() { --liveWatches_; }

void TLaunchProgThread::Finish() {
  if (thread_.joinable()) thread_.join();
  // The launch thread has ended, so no watch is added any more. Under the debugging
  // interface the programs end with it; a plain launch's watch is released by AllStop.
  for (std::thread& watch : watches_)
    if (watch.joinable()) watch.join();
  watches_.clear();
}

void TLaunchProgThread::StartWatch(platform::Handle process, DWORD processId) {
  ++liveWatches_;
  // Naming a process lists the system's processes (milliseconds under Wine): the watch
  // does it, so that the loop does not hold the new process meanwhile.
  auto registerProcess = request_.realTime ? hooks_.registerProcess : nullptr;
  const uint32_t identity = processId ^ request_.processKey;
  // The object's address is only the notice's name: the window compares it with its own.
  HANDLE allStop = request_.allStop;
  HWND notify = request_.notifyWindow;
  LPARAM sender = reinterpret_cast<LPARAM>(this);
  watches_.emplace_back([process = std::move(process), allStop, notify, sender, registerProcess,
                         identity] {
    if (registerProcess) registerProcess(identity, process.get());
    HANDLE waits[2] = {process.get(), allStop};
    WaitForMultipleObjects(allStop ? 2 : 1, waits, FALSE, INFINITE);
    PostMessageA(notify, WM_WATCHENDED, 0, sender);
  });
}

void TLaunchProgThread::Run() {
  if (request_.allStop) ResetEvent(request_.allStop);
  const DWORD flags = DETACHED_PROCESS | NORMAL_PRIORITY_CLASS;
  platform::StartedProcess started =
      platform::StartProcess(request_.commandLine, request_.workingFolder, DEBUG_PROCESS | flags);
  if (started.process) {
    debugging_ = true;
  } else {
    started = platform::StartProcess(request_.commandLine, request_.workingFolder, flags);
    startError_ = started.error;
  }
  if (started.process) {
    StartWatch(std::move(started.process), started.id);
    // A debugged install waits at its loader breakpoint; a plain one already runs.
    if (request_.realTime && hooks_.startTracking) {
      if (debugging_)
        trackingStart_ = std::thread(hooks_.startTracking);
      else
        hooks_.startTracking();
    }
  }
  if (debugging_)
    DebugLoop();
  else if (!watches_.empty())
    watches_.back().join();  // a plain launch ends with its program
  WaitForTrackingStart();
  finished_ = true;
  PostMessageA(request_.notifyWindow, WM_LAUNCHENDED, 0, reinterpret_cast<LPARAM>(this));
}

// The install program itself is counted twice, at its creation and at its create-process
// event, so the count reaches 0 only when it and every program started below it have
// ended.
void TLaunchProgThread::DebugLoop() {
  DEBUG_EVENT event;
  DWORD lastActivity = GetTickCount();
  while (!stop_) {
    if (!platform::NextDebugEvent(event, kDebugEventWaitMs)) {
      if (liveWatches_ > 0) lastActivity = GetTickCount();
      else if (Settled(GetTickCount() - lastActivity)) break;
      continue;
    }
    lastActivity = GetTickCount();
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT: {
        const CREATE_PROCESS_DEBUG_INFO& created = event.u.CreateProcessInfo;
        platform::Handle image(created.hFile);  // ours to close
        // The process handle is the debugger's; the watch gets a copy of its own.
        platform::Handle copy = platform::DuplicateProcessHandle(created.hProcess);
        if (copy) StartWatch(std::move(copy), event.dwProcessId);
        beforeFirstBreakpoint_[event.dwProcessId] = {created.hProcess, created.hThread};
        started_.insert(event.dwProcessId);
        running_.insert(event.dwProcessId);
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        beforeFirstBreakpoint_.erase(event.dwProcessId);  // its id may come again
        running_.erase(event.dwProcessId);
        break;
      case LOAD_DLL_DEBUG_EVENT: {
        platform::Handle image(event.u.LoadDll.hFile);
        break;
      }
      case EXCEPTION_DEBUG_EVENT:
        platform::ContinueAfter(event, ContinueException(event));
        continue;
    }
    platform::ContinueAfter(event, DBG_CONTINUE);
  }
}

bool TLaunchProgThread::Settled(DWORD quietMs) const {
  if (quietMs >= kSettleMs) return true;
  if (quietMs < kQuietMs) return false;
  std::vector<platform::SystemProcess> list;
  return platform::ListSystemProcesses(list) && !ChildNotSeenYet(list, started_, running_);
}

// Breakpoints are ours: the system's first one in each process, and any the program
// places for its debugger. Every other exception goes back to the program: continued as
// handled, its own handlers would never run, and an access fault it means to catch would
// repeat for ever.
DWORD TLaunchProgThread::ContinueException(const DEBUG_EVENT& event) {
  if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
    return DBG_EXCEPTION_NOT_HANDLED;
  auto first = beforeFirstBreakpoint_.find(event.dwProcessId);
  if (first != beforeFirstBreakpoint_.end()) {
    FirstBreakpoint(event, first->second.process, first->second.thread);
    beforeFirstBreakpoint_.erase(first);
  }
  return DBG_CONTINUE;
}

// The loader's breakpoint, before any code of the program runs: real-time tracking takes
// the process over here.
void TLaunchProgThread::FirstBreakpoint(const DEBUG_EVENT& event, HANDLE process, HANDLE thread) {
  if (!request_.realTime) return;
  WaitForTrackingStart();
  // The start of tracking empties the list of processes: one watched while it ran is
  // named again, while it still runs.
  if (hooks_.registerProcess)
    hooks_.registerProcess(event.dwProcessId ^ request_.processKey, process);
  realtime::TraceNewProcess(process, thread, event.dwProcessId);
}

void TLaunchProgThread::WaitForTrackingStart() {
  if (trackingStart_.joinable()) trackingStart_.join();
}

}  // namespace session
