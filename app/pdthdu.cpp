#include "app/pdthdu.h"

#include <map>

#include "platform/paths.h"
#include "platform/process.h"
#include "platform/system.h"
#include "realtime/processes.h"
#include "realtime/vorttrap.h"

namespace app {
WindowsFacts ClassifyWindows(DWORD platform, DWORD major, DWORD minor) {
  WindowsFacts facts;
  facts.platform = platform;
  if (platform == VER_PLATFORM_WIN32_WINDOWS) {
    facts.currentVersionKey = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    if (major == 4 && minor == 0)
      facts.type = wtWin95, facts.text = "Windows 95";
    else if (major == 4 && minor == 10)
      facts.type = wtWin98, facts.text = "Windows 98";
    else
      facts.type = wt9xOther, facts.text = "Windows 9x?";
  } else if (platform == VER_PLATFORM_WIN32_NT) {
    facts.currentVersionKey = "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    switch (major) {
      case 3: facts.type = wtNt3, facts.text = "Windows NT3"; break;
      case 4: facts.type = wtNt4, facts.text = "Windows NT4"; break;
      case 5: facts.type = wtNt5, facts.text = "Windows NT5"; break;
      default: facts.type = wtNtOther, facts.text = "Windows NT?"; break;
    }
  } else {
    facts.type = wtUnknownPlatform, facts.text = "Windows ???";
  }
  return facts;
}

const WindowsFacts& ThisWindows() {
  static const WindowsFacts facts = [] {
    OSVERSIONINFOA version = platform::WindowsVersion();
    return ClassifyWindows(version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion);
  }();
  return facts;
}

InstallType ClassifyInstallProgram(const std::string& name, DWORD platform) {
  if (name.empty()) return itNone;
  size_t firstDot = name.find('.');
  // Fewer than three characters after the first dot: no extension to judge by.
  if (firstDot == std::string::npos || name.size() - (firstDot + 1) < 3) return itNoExtension;
  if (!platform::FileExists(name)) return itMissing;
  const std::string ext = platform::UpperExtension(name);

  if (platform == VER_PLATFORM_WIN32_WINDOWS) {
    switch (platform::ShellExecutableType(name) & 0xFFFF) {
      case 0x454E: return itWin16;  // "NE"
      case 0x4550: return itWin32;  // "PE"
      case 0x5A4D:  // "MZ", also given for batch files
      case 0x4D5A:  // the same from Wine's shell, which swaps the two letters
        if (ext == ".EXE") return itDosExe;
        if (ext == ".COM") return itDosCom;
        if (ext == ".BAT") return itDosBatch;
        return itNotExecutable;
      default:
        return ext == ".INF" ? itSetupInf : itNotExecutable;
    }
  }
  DWORD type = 0;
  if (!platform::BinaryType(name, type)) return itNotExecutable;
  switch (type) {
    case SCS_32BIT_BINARY: return itWin32;
    case SCS_DOS_BINARY:
      if (ext == ".EXE") return itDosExe;
      if (ext == ".COM") return itDosCom;
      return itNotExecutable;
    case SCS_WOW_BINARY: return itWin16;
    default:
      if (ext == ".INF") return itSetupInf;
      if (ext == ".BAT") return itDosBatch;
      return itNotExecutable;
  }
}

std::string InstallTypeText(InstallType type) {
  switch (type) {
    case itNoExtension: return "";
    case itNotExecutable: return "Not an executable file";
    case itMissing: return "File does not exist";
    case itNone: return "(no program)";
    case itDosExe: return "DOS EXE file";
    case itDosCom: return "DOS COM file";
    case itDosBatch: return "DOS batch file";
    case itWin16: return "16-bit Windows Executable";
    case itWin32: return "32-bit Windows Executable";
    case itSetupInf: return "Setup .INF file";
  }
  return "";
}

ModeChoices ChooseModes(ModeChoices modes, InstallType type, WindowsType windows,
                        bool realTimeAvailable) {
  bool& real = modes.enabled[0];
  switch (type) {
    case itNoExtension: case itNotExecutable: case itMissing:
      modes = ModeChoices{{false, false, false}, 0};
      break;
    case itNone: case itWin32: case itSetupInf:
      modes = ModeChoices{{realTimeAvailable, true, true}, realTimeAvailable ? tmReal : tmDisk};
      break;
    case itDosExe: case itDosCom: case itDosBatch: case itWin16:
      real = false;
      modes.enabled[1] = modes.enabled[2] = true;
      if (modes.checked == tmReal) modes.checked = tmDisk;
      break;
  }
  if (windows == wtNt4) {
    real = false;
    if (modes.checked == tmReal) modes.checked = tmDisk;
  } else if (windows != wtWin95 && windows != wtWin98) {
    modes = ModeChoices{{false, false, false}, 0};
  }
  return modes;
}

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

bool ObtainProcessKey(WindowsType windows, uint32_t& key) {
  key = 0;
  if (windows != wtWin95 && windows != wtWin98) return true;
  key = realtime::GetProcessKey();
  return key != 0 || realtime::DeriveProcessKey(key);
}

namespace {

// Polling with a short wait instead of none keeps the loop from taking a whole processor
// for the length of the install, and still sees the stop request at once.
constexpr DWORD kDebugEventWaitMs = 50;
// A program may start another and end at once; the new program's create-process event
// can reach the loop after the last watch has ended. The loop stops only once no event
// has come for this long with no watch left.
constexpr DWORD kSettleMs = 1000;

}  // namespace

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
  if (request_.realTime && hooks_.registerProcess)
    hooks_.registerProcess(processId ^ request_.processKey, process.get());
  // The object's address is only the notice's name: the window compares it with its own.
  HANDLE allStop = request_.allStop;
  HWND notify = request_.notifyWindow;
  LPARAM sender = reinterpret_cast<LPARAM>(this);
  watches_.emplace_back([process = std::move(process), allStop, notify, sender] {
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
    if (request_.realTime && hooks_.startTracking) hooks_.startTracking();
  }
  if (debugging_)
    DebugLoop();
  else if (!watches_.empty())
    watches_.back().join();  // a plain launch ends with its program
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
      else if (GetTickCount() - lastActivity >= kSettleMs) break;
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
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        beforeFirstBreakpoint_.erase(event.dwProcessId);  // its id may come again
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
  if (request_.realTime) realtime::TraceNewProcess(process, thread, event.dwProcessId);
}

}  // namespace app
