#pragma once
// A small debugger for tests and benchmarks: runs a program and every program it starts with
// a library put into each at its loader breakpoint, as the launcher does in real-time mode.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace trapdriver_testing {

struct TraceResult {
  std::vector<DWORD> processIds;  // in the order they were created
  bool allEnded = false;          // false: the time ran out first
  std::vector<std::string> stillRunning;  // then: the programs that had not ended
  int injected = 0;               // processes that took the library
};

// Called at each process's loader breakpoint with the process, the stopped thread and the
// process id; true when the process took the library.
using Injector = std::function<bool(HANDLE process, HANDLE thread, DWORD processId)>;

TraceResult TraceProgram(const std::string& commandLine, const Injector& inject, DWORD timeoutMs);
// The same with InjectLibrary of `libraryPath`.
TraceResult TraceProgram(const std::string& commandLine, const std::string& libraryPath,
                         DWORD timeoutMs);

}  // namespace trapdriver_testing
