// Tracing a process that the launcher starts: the operation capture (VORTCAP.DLL, beside
// this library) is put into it at its loader breakpoint, so it is in place before the
// program's own code runs. The capture then writes to the feed on its own. Every other
// process is traced by the watch (watch.h).
#include "trapdriver/driver/trace.h"

#include <windows.h>

#include <mutex>
#include <vector>

#include "platform/owners.h"
#include "trapdriver/driver/inject.h"
#include "trapdriver/driver/exports.h"
#include "trapdriver/driver/watch.h"
#include "trapdriver/feed/reader.h"

namespace {

std::mutex tracedLock;
// Each names the feed to a traced process whose environment does not (a program may start
// another with an environment of its own).
std::vector<platform::Handle> feedNames;

}  // namespace

namespace trapdriver {

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

void StopTracedProcesses() {
  StopTracing();
  std::lock_guard<std::mutex> hold(tracedLock);
  feedNames.clear();
}

}  // namespace trapdriver

extern "C" BOOL WINAPI VortTrapTraceProcess(HANDLE process, HANDLE thread, DWORD processId) {
  static const std::string capture = trapdriver::CapturePath();
  if (capture.empty() || !trapdriver::InjectLibrary(process, thread, capture)) return FALSE;
  trapdriver::TracedFromStart(processId);
  std::lock_guard<std::mutex> hold(tracedLock);
  feedNames.push_back(trapfeed::NameFeedTo(processId));
  return TRUE;
}
