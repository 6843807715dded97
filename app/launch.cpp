#include "app/launch.h"

namespace app {
namespace {

// Polling with a short wait instead of none keeps the loop from taking a whole processor
// for the length of the install, and still sees the stop request at once.
constexpr DWORD kDebugEventWaitMs = 50;

}  // namespace

TLaunchProgThread::TLaunchProgThread(LaunchRequest request, LaunchHooks hooks)
    : request_(std::move(request)), hooks_(std::move(hooks)) {
  thread_ = std::thread([this] { Run(); });
}

TLaunchProgThread::~TLaunchProgThread() {
  stop_ = true;
  if (!finished_ && !debugging_ && request_.allStop) SetEvent(request_.allStop);
  if (thread_.joinable()) thread_.join();
}

void TLaunchProgThread::WatchEnded() {
  if (--liveWatches_ <= 0) stop_ = true;
}

void TLaunchProgThread::Finish() {
  if (thread_.joinable()) thread_.join();
}

bool TLaunchProgThread::CreateInstallProcess(DWORD flags, platform::Handle& process,
                                             DWORD& processId) {
  STARTUPINFOA startup{};
  startup.cb = 68;  // the size of the record as the 32-bit system defines it
  PROCESS_INFORMATION info{};
  std::string commandLine = request_.commandLine;  // CreateProcessA may write into it
  const char* folder = request_.workingFolder.empty() ? nullptr : request_.workingFolder.c_str();
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, flags, nullptr, folder,
                      &startup, &info))
    return false;
  platform::Handle thread(info.hThread);
  process.reset(info.hProcess);
  processId = info.dwProcessId;
  return true;
}

std::thread TLaunchProgThread::StartWatch(HANDLE process, DWORD processId, bool owned) {
  ++liveWatches_;
  if (request_.realTime && hooks_.registerProcess)
    hooks_.registerProcess(processId ^ request_.processKey, process);
  // The watch may outlive this object (the program closing during an install), so it
  // keeps copies of what it needs and uses the object's address only as a name.
  HANDLE allStop = request_.allStop;
  HWND notify = request_.notifyWindow;
  LPARAM sender = reinterpret_cast<LPARAM>(this);
  return std::thread([process, owned, allStop, notify, sender] {
    {
      platform::Handle closeAtEnd(owned ? process : nullptr);
      HANDLE waits[2] = {process, allStop};
      WaitForMultipleObjects(allStop ? 2 : 1, waits, FALSE, INFINITE);
    }
    PostMessageA(notify, WM_WATCHENDED, 0, sender);
  });
}

void TLaunchProgThread::Run() {
  if (request_.allStop) ResetEvent(request_.allStop);
  platform::Handle process;
  DWORD processId = 0;
  std::thread plainWatch;
  if (CreateInstallProcess(DEBUG_PROCESS | DETACHED_PROCESS | NORMAL_PRIORITY_CLASS, process,
                           processId)) {
    debugging_ = true;
    StartWatch(process.release(), processId, true).detach();
  } else if (CreateInstallProcess(DETACHED_PROCESS | NORMAL_PRIORITY_CLASS, process, processId)) {
    plainWatch = StartWatch(process.release(), processId, true);
  }
  if (request_.realTime && hooks_.startTracking) hooks_.startTracking();

  if (debugging_) {
    // The install program itself is counted twice, at its creation and at its
    // create-process event, so the count reaches 0 only when it and every program
    // started below it have ended.
    DEBUG_EVENT event;
    while (!stop_) {
      if (!WaitForDebugEvent(&event, kDebugEventWaitMs)) continue;
      if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
        const CREATE_PROCESS_DEBUG_INFO& created = event.u.CreateProcessInfo;
        HANDLE copy = nullptr;
        bool duplicated = DuplicateHandle(GetCurrentProcess(), created.hProcess, GetCurrentProcess(),
                                          &copy, PROCESS_ALL_ACCESS, FALSE, 0) != FALSE;
        StartWatch(duplicated ? copy : created.hProcess, event.dwProcessId, duplicated).detach();
        platform::Handle image(created.hFile);  // ours to close
      } else if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) {
        platform::Handle image(event.u.LoadDll.hFile);
      }
      ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
    }
  } else if (plainWatch.joinable()) {
    plainWatch.join();
  }
  finished_ = true;
  PostMessageA(request_.notifyWindow, WM_LAUNCHENDED, 0, reinterpret_cast<LPARAM>(this));
}

}  // namespace app
