#include "platform/process.h"

namespace platform {

StartedProcess StartProcess(const std::string& commandLine, const std::string& folder,
                            DWORD flags) {
  STARTUPINFOA startup{};
  startup.cb = 68;  // the size of the record as the 32-bit system defines it
  PROCESS_INFORMATION info{};
  std::string line = commandLine;  // CreateProcessA may write into it
  StartedProcess started;
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
    started.error = GetLastError();
    return started;
  }
  Handle thread(info.hThread);
  started.process.reset(info.hProcess);
  started.id = info.dwProcessId;
  return started;
}

bool NextDebugEvent(DEBUG_EVENT& event, DWORD waitMs) {
  return WaitForDebugEvent(&event, waitMs) != FALSE;
}

void ContinueAfter(const DEBUG_EVENT& event, DWORD status) {
  ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
}

Handle DuplicateProcessHandle(HANDLE process) {
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &copy,
                       PROCESS_ALL_ACCESS, FALSE, 0))
    return Handle();
  return Handle(copy);
}

}  // namespace platform
