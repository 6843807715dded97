#pragma once
// The names of the processes that made the trapped operations: one entry per driver
// process id, named when the process is first seen, while it still runs.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engines/lists.h"

namespace realtime {

// The name of a process that could not be looked up.
constexpr char kUnknownProcessName[] = "*error*";

// The executable of the running process with that driver id, as the system's process
// list names it (driver id = Win32 id XOR key), or "*error*": on systems other than
// Windows 95/98, without the process key (0), without the toolhelp functions, or when
// the process is gone.
std::string LookUpProcessName(uint32_t driverProcessId, uint32_t processKey);

// What the driver could not see of a process that ran while tracking: it was traced only
// from a moment after its start (found running, not seen starting), or not at all.
enum NoteKind : uint32_t { nkTracedLate = 1, nkNotTraced = 2 };
// Why a process was not traced.
enum NoteReason : uint32_t { nrNoAccess = 1, nrNoCapture = 2, nrEnded = 3 };
struct ProcessNote {
  uint32_t processId = 0;  // driver process id
  NoteKind kind = nkTracedLate;
  FILETIME since{};        // traced late: when tracing began (UTC)
  NoteReason reason = nrNoAccess;
  uint32_t error = 0;      // the system's error code behind the reason, 0 when none
  std::string name;        // the executable, as the driver found it
};

// Names the noted processes the driver could not name: as the system's process list names
// them (Win32 id = driver id XOR key), else "process " and the Win32 id.
void NameNotedProcesses(std::vector<ProcessNote>& notes, uint32_t processKey);

// One note as the driver hands it over (the layout of trapabi's process_note); false for
// bytes that are no note.
bool DecodeProcessNote(const unsigned char* bytes, ProcessNote& note);

// The process key without the driver, from the data behind the system's own function for
// the process id, as Windows 95/98 lay them out. Every read is checked: elsewhere (Wine
// among them) the bytes there are other code and the chain leads nowhere, and the
// answer is false.
bool DeriveProcessKey(uint32_t& key);
// The same chain from the function at that address, for the process id given, with every
// read made through `read` (false where the memory cannot be read).
using MemoryReader = std::function<bool(uintptr_t address, void* out, size_t size)>;
bool DeriveProcessKeyFrom(uintptr_t function, uint32_t processId, const MemoryReader& read,
                          uint32_t& key);

// Windows 95 or 98: the only systems with the trap driver.
bool Windows95or98();

}  // namespace realtime
