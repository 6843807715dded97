#pragma once
// The entry points of VORTTRAP.VXD as a library: what a program loads under Wine in place
// of opening the device, and one more for tests. The control codes and their buffers are
// those of the device.
#include <windows.h>

#include "platform/trapabi.h"

constexpr WORD kTrapDriverVersion = 0x0102;

// What the driver holds and has done since it was loaded.
struct VortTrapCounts {
  DWORD openHandles;
  DWORD subscriptions;
  DWORD outstandingRecords;  // delivered, not yet released
  DWORD outstandingBuffers;
  DWORD delivered;           // records queued to subscribers
  DWORD malformed;           // frames and messages dropped as garbage
  DWORD abandoned;           // records left unfreed at unload: a subscriber might still read them
  DWORD writersWaiting;      // writers waiting for room in the feed
};

extern "C" {
// One more open handle; the first starts the driver's work.
__declspec(dllexport) BOOL WINAPI VortTrapOpen(void);
// One handle fewer; the last stops its threads and frees its memory.
__declspec(dllexport) BOOL WINAPI VortTrapClose(void);
__declspec(dllexport) BOOL WINAPI VortTrapControl(DWORD code, void* in, DWORD inSize, void* out,
                                                  DWORD outSize, DWORD* returned);
// Called by the launcher for each new process that it traces.
__declspec(dllexport) BOOL WINAPI VortTrapTraceProcess(HANDLE process, HANDLE thread,
                                                       DWORD processId);
// For tests: the counts of the present load, or of the last one once unloaded.
__declspec(dllexport) BOOL WINAPI VortTrapStats(VortTrapCounts* counts);
}
