#include "tests/trapdriver/capture/tracer.h"

#include <map>

#include "trapdriver/driver/inject.h"

namespace trapdriver_testing {

namespace {

struct Traced {
  HANDLE process = nullptr;
  bool started = false;  // its loader breakpoint has passed
  bool counted = true;   // the run waits for it to end
};

std::string ImageName(HANDLE process) {
  char name[MAX_PATH] = "";
  DWORD size = sizeof name;
  QueryFullProcessImageNameA(process, 0, name, &size);
  return name;
}

// Wine starts its desktop process from the first program that needs a window when none
// runs; it stays for the session, so the run neither traces it nor waits for it.
bool IsWinesDesktop(const std::string& image) {
  const size_t slash = image.rfind('\\');
  return lstrcmpiA(image.c_str() + (slash == std::string::npos ? 0 : slash + 1), "explorer.exe") == 0;
}

}  // namespace

TraceResult TraceProgram(const std::string& commandLine, const std::string& libraryPath,
                         DWORD timeoutMs) {
  return TraceProgram(
      commandLine,
      [&](HANDLE process, HANDLE thread, DWORD) { return trapdriver::InjectLibrary(process, thread, libraryPath); },
      timeoutMs);
}

TraceResult TraceProgram(const std::string& commandLine, const Injector& inject, DWORD timeoutMs) {
  TraceResult result;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::string line = commandLine;
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, DEBUG_PROCESS, nullptr,
                      nullptr, &startup, &info))
    return result;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);

  // The handles of debug events are the system's: it closes them when the process or
  // thread ends. Only the image files are ours.
  std::map<DWORD, Traced> processes;
  std::map<DWORD, HANDLE> threads;
  DWORD start = GetTickCount();
  int alive = 0;
  DEBUG_EVENT event;
  while (GetTickCount() - start < timeoutMs) {
    if (!WaitForDebugEvent(&event, 100)) continue;
    DWORD continueStatus = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT: {
        Traced& traced = processes[event.dwProcessId];
        traced.process = event.u.CreateProcessInfo.hProcess;
        traced.counted = !IsWinesDesktop(ImageName(traced.process));
        threads[event.dwThreadId] = event.u.CreateProcessInfo.hThread;
        if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
        if (!traced.counted) break;
        result.processIds.push_back(event.dwProcessId);
        ++alive;
        break;
      }
      case CREATE_THREAD_DEBUG_EVENT:
        threads[event.dwThreadId] = event.u.CreateThread.hThread;
        break;
      case EXIT_THREAD_DEBUG_EVENT:
        threads.erase(event.dwThreadId);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
        break;
      case EXCEPTION_DEBUG_EVENT: {
        Traced& traced = processes[event.dwProcessId];
        if (event.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT &&
            !traced.started) {
          traced.started = true;
          if (traced.counted && inject(traced.process, threads[event.dwThreadId], event.dwProcessId))
            ++result.injected;
        } else {
          continueStatus = DBG_EXCEPTION_NOT_HANDLED;
        }
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        if (processes[event.dwProcessId].counted) --alive;
        processes.erase(event.dwProcessId);
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
    if (alive == 0 && event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
      result.allEnded = true;
      break;
    }
  }
  // Whatever still runs is named and let go.
  for (auto& [id, traced] : processes) {
    if (!result.allEnded) result.stillRunning.push_back(std::to_string(id) + " " + ImageName(traced.process));
    DebugActiveProcessStop(id);
  }
  return result;
}

}  // namespace trapdriver_testing
