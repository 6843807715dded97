// Tracing a process that the launcher starts: the operation capture (VORTCAP.DLL, beside
// this library) is put into it at its loader breakpoint, so it is in place before the
// program's own code runs. The capture then writes to the feed on its own.
#include "trapdriver/driver/trace.h"

#include <mutex>
#include <string>
#include <vector>

#include "trapdriver/driver/inject.h"
#include "trapdriver/driver/vorttrap.h"

namespace {

std::mutex tracedLock;
std::vector<DWORD> traced;  // ids only: no handle is kept

std::string CapturePath() {
  HMODULE self = nullptr;
  char path[MAX_PATH] = {};
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<const char*>(&CapturePath), &self) ||
      GetModuleFileNameA(self, path, MAX_PATH) == 0)
    return {};
  std::string folder(path);
  return folder.substr(0, folder.rfind('\\') + 1) + "VORTCAP.DLL";
}

}  // namespace

namespace trapdriver {

void StopTracedProcesses() {
  std::vector<DWORD> stopping;
  {
    std::lock_guard<std::mutex> hold(tracedLock);
    stopping.swap(traced);
  }
  for (DWORD processId : stopping) StopCapture(processId);
}

}  // namespace trapdriver

extern "C" BOOL WINAPI VortTrapTraceProcess(HANDLE process, HANDLE thread, DWORD processId) {
  static const std::string capture = CapturePath();
  if (capture.empty() || !trapdriver::InjectLibrary(process, thread, capture)) return FALSE;
  std::lock_guard<std::mutex> hold(tracedLock);
  traced.push_back(processId);
  return TRUE;
}
