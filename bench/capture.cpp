// The operation capture's cost: a stand-in installer (capsetup) makes 10,000 file writes and
// 10,000 registry value writes, untracked, under the debugger alone, and tracked in real-time
// mode through the whole chain: the driver (VORTTRAP.VXD beside this program) traces every
// process on the machine, the capture put into the install at its loader breakpoint, the
// feed and the decoder. The three take turns in ROUNDS rounds (`capture ROUNDS`, 5 unless
// told), and the medians of the per-round ratios are printed with their spread. Then the
// cost of the capture in a process that does nothing: the processor time of an idle
// process (this program, run as "idle") over three seconds, traced (once its capture has
// settled) and untraced.
#include <windows.h>

#include <tlhelp32.h>  // after windows.h

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_tree.h"
#include "platform/owners.h"
#include "realtime/records.h"
#include "realtime/vorttrap.h"
#include "tests/trapdriver/capture/tracer.h"
#include "trapdriver/feed/feed.h"

namespace {

constexpr int kOperations = 10000;
const char kFolder[] = "C:\\vortan4-bench-capture";
constexpr DWORD kSettleMs = 4000, kIdleMs = 3000;

std::string CommandLine() {
  return std::string("\"C:\\tests\\programs\\capsetup.exe\" bench ") + kFolder +
         " Software\\VortCapBench " + std::to_string(kOperations);
}

double Untracked() {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::string line = CommandLine();
  const double start = bench::Seconds();
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info))
    return 0;
  WaitForSingleObject(info.hProcess, INFINITE);
  const double seconds = bench::Seconds() - start;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return seconds;
}

// Under the debugger but without the capture: what tracking costs before any capture.
double DebuggedOnly() {
  const double start = bench::Seconds();
  trapdriver_testing::TraceResult result = trapdriver_testing::TraceProgram(
      CommandLine(), [](HANDLE, HANDLE, DWORD) { return false; }, 600000);
  return result.allEnded ? bench::Seconds() - start : 0;
}

// A process with the capture in it has made its stop event.
bool HasCapture(DWORD processId) {
  HANDLE stop = OpenEventA(SYNCHRONIZE, FALSE, trapfeed::StopEventName(processId).c_str());
  if (stop == nullptr) return false;
  CloseHandle(stop);
  return true;
}

// The processes of the machine with the capture in them.
int TracedProcesses() {
  int traced = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
    traced += HasCapture(entry.th32ProcessID);
  CloseHandle(snapshot);
  return traced;
}

// From the start of the install program to the last of its records decoded.
double Tracked() {
  realtime::RealTimeTracking tracking;
  if (tracking.Started() != realtime::srStarted) return 0;
  const int traced = TracedProcesses();
  const double start = bench::Seconds();
  trapdriver_testing::TraceResult result = trapdriver_testing::TraceProgram(
      CommandLine(),
      [](HANDLE process, HANDLE thread, DWORD processId) {
        realtime::TraceNewProcess(process, thread, processId);
        return true;
      },
      600000);
  const double installed = bench::Seconds() - start;
  const realtime::TrackingResults found = tracking.Stop();  // decodes what is still queued
  const double seconds = bench::Seconds() - start;
  size_t entries = 0;
  for (const engines::ResultList& list : found.lists) entries += list.size();
  std::printf("  tracked: %d processes traced at the start, the install ended after %.2f s, its "
              "last record decoded after %.2f s, %u list entries\n",
              traced, installed, seconds, static_cast<unsigned>(entries));
  return result.allEnded ? seconds : 0;
}

double ProcessorMs(HANDLE process) {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(process, &created, &exited, &kernel, &user);
  auto value = [](const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return static_cast<double>(value(kernel) + value(user)) / 1e4;
}

// The processor time an idle process takes over kIdleMs, once the watcher has put the
// capture into it (traced) and that has settled (its load and hooking take some tens of
// milliseconds once, up to a few seconds later on a busy machine); -1 when it was not traced
// within 10 s.
double IdleProcessorMs(bool traced) {
  std::unique_ptr<realtime::RealTimeTracking> tracking;
  if (traced) tracking = std::make_unique<realtime::RealTimeTracking>();
  if (tracking && tracking->Started() != realtime::srStarted) return -1;
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string endName = "Vortan4 Bench Idle End " + std::to_string(GetCurrentProcessId());
  platform::Handle end(CreateEventA(nullptr, TRUE, FALSE, endName.c_str()));
  std::string line = std::string("\"") + self + "\" idle \"" + endName + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  double spent = -1;
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &info)) {
    const DWORD start = GetTickCount();
    while (traced && !HasCapture(info.dwProcessId) && GetTickCount() - start < 10000) Sleep(10);
    if (!traced || HasCapture(info.dwProcessId)) {
      Sleep(kSettleMs);
      const double from = ProcessorMs(info.hProcess);
      Sleep(kIdleMs);
      spent = ProcessorMs(info.hProcess) - from;
    }
    SetEvent(end.get());
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
  }
  if (tracking) tracking->Stop();
  return spent;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "idle") {  // until the benchmark ends it
    platform::Handle end(OpenEventA(SYNCHRONIZE, FALSE, argv[2]));
    WaitForSingleObject(end.get(), 60000);
    return 0;
  }
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  CreateDirectoryA(kFolder, nullptr);
  Untracked();  // warm-up: the program and its libraries in the cache
  std::vector<double> trackedRatios, debuggedRatios;
  for (int round = 1; round <= rounds; ++round) {
    const double untracked = Untracked(), debugged = DebuggedOnly(), tracked = Tracked();
    if (untracked <= 0 || debugged <= 0 || tracked <= 0) {
      std::printf("the install program or the trap driver could not be used\n");
      return 1;
    }
    trackedRatios.push_back(tracked / untracked);
    debuggedRatios.push_back(debugged / untracked);
    std::printf("round %d: untracked %.2f s, under the debugger without the capture %.2f s, "
                "tracked %.2f s\n",
                round, untracked, debugged, tracked);
    std::fflush(stdout);
  }
  const double idleTraced = IdleProcessorMs(true), idleUntraced = IdleProcessorMs(false);
  std::printf("%d file writes and %d value writes\n", kOperations, kOperations);
  std::printf("idle process, processor time in %.1f s: traced %.0f ms, untraced %.0f ms\n",
              kIdleMs / 1000.0, idleTraced, idleUntraced);
  bench::PrintMedian("ratio debugged/untracked:", debuggedRatios);
  bench::PrintMedian("ratio tracked/untracked:", trackedRatios);
  return 0;
}
