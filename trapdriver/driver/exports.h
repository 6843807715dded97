#pragma once
// What the stand-in's library exports beyond the driver's four entry points (declared in
// platform/trapabi.h): its version, and one more entry point for tests.
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
// For tests: the counts of the present load, or of the last one once unloaded.
VORTTRAP_ENTRY BOOL WINAPI VortTrapStats(VortTrapCounts* counts);
}
