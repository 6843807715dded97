#pragma once
// Puts a library into a debugged process stopped at its loader breakpoint, before any of the
// program's own code runs: the stopped thread is sent through a small stub that calls
// LoadLibraryA and then goes on where it stood. (A remote thread instead races with the
// program's first instructions, and waiting for it deadlocks on the loader lock.)
#include <windows.h>

#include <string>

namespace trapdriver {

// `thread` is the thread that reported the breakpoint, still stopped; the caller continues it
// with DBG_CONTINUE afterwards. False when the process could not be prepared (it then runs on
// without the library).
bool InjectLibrary(HANDLE process, HANDLE thread, const std::string& libraryPath);

// Tracing a process that is already running: a thread of ours in it loads the capture and
// arms it (VortCapArm) with the name of the feed. The thread, whose exit code is 1 once the
// capture traces, or nothing and the system's error code.
HANDLE ArmRunningProcess(DWORD processId, const std::string& libraryPath,
                         const std::string& feedName, DWORD& error);

// Makes the capture in that process go quiet (nothing when it has none, or has ended).
void StopCapture(DWORD processId);

}  // namespace trapdriver
