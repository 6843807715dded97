// Tracing a process that the launcher starts: the operation capture (VORTCAP.DLL, beside
// this library) is put into it at its loader breakpoint, so it is in place before the
// program's own code runs. The capture then writes to the feed on its own.
#include <string>

#include "trapdriver/inject.h"
#include "trapdriver/vorttrap.h"

namespace {

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

extern "C" BOOL WINAPI VortTrapTraceProcess(HANDLE process, HANDLE thread, DWORD) {
  static const std::string capture = CapturePath();
  return !capture.empty() && trapcapture::InjectLibrary(process, thread, capture);
}
