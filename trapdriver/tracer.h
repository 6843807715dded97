#pragma once
// A small debugger for tests and benchmarks: runs a program and every program it starts with
// a library put into each at its loader breakpoint, as the launcher does in real-time mode.
#include <windows.h>

#include <string>
#include <vector>

namespace trapcapture {

struct TraceResult {
  std::vector<DWORD> processIds;  // in the order they were created
  bool allEnded = false;          // false: the time ran out first
  int injected = 0;               // processes that took the library
};

TraceResult TraceProgram(const std::string& commandLine, const std::string& libraryPath,
                         DWORD timeoutMs);

}  // namespace trapcapture
