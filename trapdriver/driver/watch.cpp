#include "trapdriver/driver/watch.h"

#include <winternl.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/owners.h"
#include "platform/trapabi.h"
#include "trapdriver/driver/inject.h"
#include "trapdriver/feed/feed.h"
#include "trapdriver/feed/ring.h"

namespace trapdriver {
namespace {

// How often the watcher looks, and how long it leaves a new process to the one that
// started it (a traced parent's hook, or the launcher at the loader breakpoint) before it
// traces the process itself.
constexpr DWORD kPollMs = 20, kGraceMs = 500;
// A full list of the processes costs a millisecond or more of reading under Wine; asking
// only for its size costs next to nothing, and the size changes with every process (and
// thread) that comes or goes. Every so often the watcher reads the list anyway.
constexpr int kFullListEvery = 25;
constexpr DWORD kArmWaitMs = 5000;
// A process found before the system has loaded its kernel32 cannot be armed yet; the
// watcher tries again at its next looks for this long after it first saw the process.
constexpr DWORD kStartingMs = 5000;

enum class State { Pending, FromStart, Late, NotTraced };

struct Process {
  State state = State::Pending;
  int64_t created = 0;       // tells a process from a later one with the same id
  DWORD parent = 0;
  DWORD firstSeen = 0;       // tick count
  FILETIME since{};          // Late: when the capture was in place
  uint32_t reason = 0, error = 0;
  std::string name;
};

struct Seen {
  DWORD id, parent;
  int64_t created;
  std::string name;
};

std::mutex tableLock;
std::map<DWORD, Process> table;  // by Win32 id
// Armings begun and not yet entered in the table (under tableLock): a process armed
// already sends its operations, so its note must not be asked for in the meantime.
int armingsUnderWay = 0;
std::condition_variable armingsEntered;
uint32_t driverKey = 0;
std::string capturePath, feedName;
platform::Handle watcher, stopWatcher;

std::string Narrow(const UNICODE_STRING& text) {
  std::string narrow(text.Length / sizeof(wchar_t) * 2 + 1, '\0');
  int length = WideCharToMultiByte(CP_ACP, 0, text.Buffer, text.Length / sizeof(wchar_t),
                                   narrow.data(), static_cast<int>(narrow.size()), nullptr, nullptr);
  narrow.resize(length > 0 ? length : 0);
  return narrow;
}

// The size of the process list, which the system tells without making the list.
ULONG ListSize() {
  ULONG size = 0;
  char probe[16];
  NtQuerySystemInformation(SystemProcessInformation, probe, sizeof probe, &size);
  return size;
}

std::vector<Seen> RunningProcesses() {
  std::vector<Seen> seen;
  static std::vector<unsigned char> buffer(64 * 1024);
  ULONG size = 0;
  NTSTATUS status;
  while ((status = NtQuerySystemInformation(SystemProcessInformation, buffer.data(),
                                            static_cast<ULONG>(buffer.size()), &size)) ==
         static_cast<NTSTATUS>(0xC0000004))  // STATUS_INFO_LENGTH_MISMATCH
    buffer.resize(size + 16 * 1024);
  if (status != 0) return seen;
  for (size_t offset = 0;;) {
    const auto* entry = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + offset);
    const auto id = static_cast<DWORD>(reinterpret_cast<uintptr_t>(entry->UniqueProcessId));
    if (id != 0)
      seen.push_back({id,
                      static_cast<DWORD>(reinterpret_cast<uintptr_t>(entry->InheritedFromUniqueProcessId)),
                      entry->CreateTime.QuadPart, Narrow(entry->ImageName)});
    if (entry->NextEntryOffset == 0) break;
    offset += entry->NextEntryOffset;
  }
  return seen;
}

bool HasCapture(DWORD processId) {
  HANDLE stop = OpenEventA(SYNCHRONIZE, FALSE, trapfeed::StopEventName(processId).c_str());
  if (!stop) return false;
  CloseHandle(stop);
  return true;
}

// A debugger puts the capture in at the loader breakpoint (the launcher does so for the
// install and each program it starts): arming such a process from outside as well would
// race the debugger while the process is held for it.
bool BeingDebugged(DWORD processId) {
  platform::Handle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
  BOOL debugged = FALSE;
  return process && CheckRemoteDebuggerPresent(process.get(), &debugged) && debugged;
}

bool Traced(State state) { return state == State::FromStart || state == State::Late; }

// The capture into running processes, all at once: each gets a thread of ours that loads
// and arms it. Called without the table lock.
void Arm(const std::vector<DWORD>& ids, bool late) {
  struct Arming {
    DWORD id = 0;
    platform::Handle thread;
    uint32_t reason = 0, error = 0;
  };
  std::vector<Arming> armings;
  {
    std::lock_guard<std::mutex> hold(tableLock);
    ++armingsUnderWay;
  }
  for (DWORD id : ids) {
    Arming arming;
    arming.id = id;
    DWORD error = 0;
    arming.thread.reset(ArmRunningProcess(id, capturePath, feedName, error));
    if (!arming.thread) {
      arming.reason = error == ERROR_INVALID_PARAMETER ? trapabi::process_note::kEnded
                                                        : trapabi::process_note::kNoAccess;
      arming.error = arming.reason == trapabi::process_note::kEnded ? 0 : error;
    }
    armings.push_back(std::move(arming));
  }
  const DWORD started = GetTickCount();
  for (Arming& arming : armings) {
    if (!arming.thread) continue;
    const DWORD spent = GetTickCount() - started;
    DWORD armed = 0;
    if (WaitForSingleObject(arming.thread.get(), spent < kArmWaitMs ? kArmWaitMs - spent : 0) !=
        WAIT_OBJECT_0) {
      arming.reason = trapabi::process_note::kNoCapture;
      arming.error = ERROR_TIMEOUT;
    } else if (!GetExitCodeThread(arming.thread.get(), &armed) || armed == 0) {
      arming.reason = trapabi::process_note::kNoCapture;
    }
  }
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  std::lock_guard<std::mutex> hold(tableLock);
  --armingsUnderWay;
  armingsEntered.notify_all();
  for (const Arming& arming : armings) {
    Process& process = table[arming.id];
    const bool stillStarting = !arming.thread && arming.error == ERROR_MOD_NOT_FOUND &&
                               GetTickCount() - process.firstSeen < kStartingMs;
    if (stillStarting) continue;  // left pending: the next looks arm it
    if (arming.reason != 0) {
      process.state = State::NotTraced;
      process.reason = arming.reason;
      process.error = arming.error;
    } else {
      process.state = late ? State::Late : State::FromStart;
      process.since = now;
    }
  }
}

// One look at the running processes: new ones are taken in, those left to their starters
// are checked, and whatever is left to the watcher is traced.
void Look(DWORD self) {
  const std::vector<Seen> running = RunningProcesses();
  const DWORD now = GetTickCount();
  std::vector<DWORD> toArm;
  {
    std::lock_guard<std::mutex> hold(tableLock);
    std::map<DWORD, bool> alive;
    for (const Seen& seen : running) {
      if (seen.id == self) continue;
      alive[seen.id] = true;
      auto known = table.find(seen.id);
      if (known != table.end() && known->second.created == seen.created) {
        Process& process = known->second;
        if (process.state != State::Pending) continue;
        if (HasCapture(seen.id))
          process.state = State::FromStart;
        else if (now - process.firstSeen >= kGraceMs && !BeingDebugged(seen.id))
          toArm.push_back(seen.id);
        continue;
      }
      Process process;
      process.created = seen.created;
      process.parent = seen.parent;
      process.firstSeen = now;
      process.name = seen.name;
      // What a traced program starts is traced by it. What a program held by the launcher
      // starts before its own code runs (its console) is held as well, and gets the
      // capture from the launcher at its loader breakpoint.
      auto parent = table.find(seen.parent);
      const State parentState = parent != table.end() ? parent->second.state : State::NotTraced;
      const bool startersOwn = seen.parent == self || Traced(parentState) ||
                               (parentState == State::Pending && BeingDebugged(seen.id));
      if (HasCapture(seen.id))
        process.state = State::FromStart;
      else if (!startersOwn)
        toArm.push_back(seen.id);
      table[seen.id] = process;
    }
    // A process left to its starter that has ended was traced by it (or ran too briefly to
    // matter to anyone); those the watcher knew of are kept for the notes.
    for (auto it = table.begin(); it != table.end();)
      it = !alive.count(it->first) && it->second.state == State::Pending ? table.erase(it) : ++it;
  }
  if (!toArm.empty()) Arm(toArm, true);
}

DWORD WINAPI Watch(void*) {
  const DWORD self = GetCurrentProcessId();
  ULONG lastSize = 0;
  int sinceFullList = 0;
  bool pending = false;
  while (WaitForSingleObject(stopWatcher.get(), kPollMs) == WAIT_TIMEOUT) {
    const ULONG size = ListSize();
    if (size == lastSize && !pending && ++sinceFullList < kFullListEvery) continue;
    lastSize = size;
    sinceFullList = 0;
    Look(self);
    std::lock_guard<std::mutex> hold(tableLock);
    pending = false;
    for (const auto& [id, process] : table) pending |= process.state == State::Pending;
  }
  return 0;
}

void PutNote(unsigned char* out, uint32_t processId, const Process& process) {
  namespace note = trapabi::process_note;
  std::memset(out, 0, note::kSize);
  const uint32_t kind = process.state == State::Late ? note::kTracedLate : note::kNotTraced;
  std::memcpy(out + note::kProcessId, &processId, 4);
  std::memcpy(out + note::kKind, &kind, 4);
  std::memcpy(out + note::kSince, &process.since, 8);
  std::memcpy(out + note::kReason, &process.reason, 4);
  std::memcpy(out + note::kError, &process.error, 4);
  std::memcpy(out + note::kName, process.name.c_str(),
              std::min(process.name.size(), note::kNameSize - 1));
}

}  // namespace

void StartTracing(uint32_t key, const std::string& capture) {
  std::vector<DWORD> running;
  capturePath = capture;
  feedName = trapfeed::FeedName(GetCurrentProcessId());
  const DWORD self = GetCurrentProcessId();
  {
    std::lock_guard<std::mutex> hold(tableLock);
    table.clear();
    driverKey = key;
    for (const Seen& seen : RunningProcesses()) {
      if (seen.id == self) continue;
      Process process;
      process.created = seen.created;
      process.parent = seen.parent;
      process.firstSeen = GetTickCount();
      process.name = seen.name;
      table[seen.id] = process;
      // A program of ours held by the debugger gets the capture at its loader breakpoint.
      if (seen.parent != self || !BeingDebugged(seen.id)) running.push_back(seen.id);
    }
  }
  Arm(running, false);
  stopWatcher.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  watcher.reset(CreateThread(nullptr, 0, Watch, nullptr, 0, nullptr));
}

void StopTracing() {
  if (watcher) {
    SetEvent(stopWatcher.get());
    WaitForSingleObject(watcher.get(), INFINITE);
    watcher.reset();
  }
  std::vector<DWORD> traced;
  {
    std::lock_guard<std::mutex> hold(tableLock);
    for (const auto& [id, process] : table)
      if (Traced(process.state)) traced.push_back(id);
  }
  for (DWORD id : traced) StopCapture(id);
}

void TracedFromStart(DWORD processId) {
  std::lock_guard<std::mutex> hold(tableLock);
  table[processId].state = State::FromStart;
}

std::string ProcessNameOf(uint32_t driverProcessId) {
  std::lock_guard<std::mutex> hold(tableLock);
  const auto found = table.find(driverProcessId ^ driverKey);
  return found == table.end() ? std::string() : found->second.name;
}

bool ProcessNoteAt(uint32_t index, unsigned char* note) {
  std::unique_lock<std::mutex> hold(tableLock);
  armingsEntered.wait(hold, [] { return armingsUnderWay == 0; });
  for (const auto& [id, process] : table) {
    if (process.state != State::Late && process.state != State::NotTraced) continue;
    if (index-- == 0) {
      PutNote(note, id ^ driverKey, process);
      return true;
    }
  }
  return false;
}

}  // namespace trapdriver
