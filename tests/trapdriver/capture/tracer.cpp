#include "tests/trapdriver/capture/tracer.h"

#include <map>

#include "trapdriver/driver/inject.h"

namespace trapdriver_testing {

namespace {

struct Traced {
  HANDLE process = nullptr;
  bool started = false;  // its loader breakpoint has passed
};

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
      case CREATE_PROCESS_DEBUG_EVENT:
        processes[event.dwProcessId].process = event.u.CreateProcessInfo.hProcess;
        threads[event.dwThreadId] = event.u.CreateProcessInfo.hThread;
        result.processIds.push_back(event.dwProcessId);
        if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
        ++alive;
        break;
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
          if (inject(traced.process, threads[event.dwThreadId], event.dwProcessId))
            ++result.injected;
        } else {
          continueStatus = DBG_EXCEPTION_NOT_HANDLED;
        }
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        processes.erase(event.dwProcessId);
        --alive;
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
    if (alive == 0 && event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
      result.allEnded = true;
      break;
    }
  }
  // Whatever still runs is let go.
  for (auto& [id, traced] : processes) DebugActiveProcessStop(id);
  return result;
}

}  // namespace trapdriver_testing
