#pragma once
// Starting a program and following it through the system's debugging interface; the
// system's process list.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/owners.h"

namespace platform {

struct StartedProcess {
  Handle process;
  DWORD id = 0;
  DWORD error = 0;  // why the system refused, when it did
};

// Starts commandLine in folder ("" for the current one) with the creation flags given.
// Empty process handle and the system's error code when the system refuses.
StartedProcess StartProcess(const std::string& commandLine, const std::string& folder,
                            DWORD flags);

// The next debug event of the processes this thread debugs, waiting up to waitMs.
bool NextDebugEvent(DEBUG_EVENT& event, DWORD waitMs);
void ContinueAfter(const DEBUG_EVENT& event, DWORD status);

// One entry of the system's process list.
struct SystemProcess {
  DWORD id = 0;
  DWORD parentId = 0;    // the process that started it (which may have ended since)
  std::string exeFile;   // as the list names it
};
// The processes running now; false where the system has no process list to give (the
// toolhelp functions are missing on NT 4) or cannot make one.
bool ListSystemProcesses(std::vector<SystemProcess>& list);

// A handle of our own to a process whose handle someone else owns; empty on failure.
Handle DuplicateProcessHandle(HANDLE process);

}  // namespace platform
