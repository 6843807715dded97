#pragma once
// Tracing every process of the machine while the driver is loaded, as the device driver
// traps every process: the capture goes into each process already running (the driver's
// own excepted); a traced process puts it into each program it starts before that program
// runs (the capture's own hook); a process that appears any other way is found by a
// watcher that looks every few milliseconds, and is traced from then on. What could not be
// seen whole is noted for the program.
#include <windows.h>

#include <cstdint>
#include <string>

namespace trapdriver {

// The running processes first, then the watcher. `key` turns Win32 ids into the driver's;
// `capture` is the capture library's path.
void StartTracing(uint32_t key, const std::string& capture);
// The watcher ends and the capture in every traced process is told to go quiet; the notes
// stay until the next start.
void StopTracing();
// The launcher put the capture into this process at its loader breakpoint.
void TracedFromStart(DWORD processId);
// Note `index`, laid out as trapabi::process_note says; false past the last.
bool ProcessNoteAt(uint32_t index, unsigned char* note);
// The executable of a process the watcher saw (by driver process id); "" for none.
std::string ProcessNameOf(uint32_t driverProcessId);

}  // namespace trapdriver
