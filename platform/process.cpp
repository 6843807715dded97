#include "platform/process.h"

#include <tlhelp32.h>

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

bool ListSystemProcesses(std::vector<SystemProcess>& list) {
  // Not every Windows version exports the toolhelp functions, so they are looked up.
  using SnapshotFunction = HANDLE(WINAPI*)(DWORD flags, DWORD processId);
  using WalkFunction = BOOL(WINAPI*)(HANDLE snapshot, PROCESSENTRY32* entry);
  static const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  static const auto snapshot = reinterpret_cast<SnapshotFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "CreateToolhelp32Snapshot")));
  static const auto first = reinterpret_cast<WalkFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "Process32First")));
  static const auto next = reinterpret_cast<WalkFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "Process32Next")));
  list.clear();
  if (!snapshot || !first || !next) return false;
  FileHandle processes(snapshot(TH32CS_SNAPPROCESS, 0));
  if (!processes) return false;
  PROCESSENTRY32 entry{};
  entry.dwSize = 296;  // the record as the 32-bit system defines it
  static_assert(sizeof(PROCESSENTRY32) == 296, "PROCESSENTRY32 is 296 bytes");
  for (BOOL more = first(processes.get(), &entry); more; more = next(processes.get(), &entry))
    list.push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile});
  return !list.empty();
}

Handle DuplicateProcessHandle(HANDLE process) {
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &copy,
                       PROCESS_ALL_ACCESS, FALSE, 0))
    return Handle();
  return Handle(copy);
}

}  // namespace platform
