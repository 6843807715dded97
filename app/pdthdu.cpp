#include "app/pdthdu.h"

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
  const std::string ext = UpperExtension(name);

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

std::string UpperExtension(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot);
  for (char& c : ext)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return ext;
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
