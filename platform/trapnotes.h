#pragma once
// The stand-in driver's own control code, beyond the device's six: which processes it could
// not see whole. A device driver that sees every process from its start fails the call,
// and the program then takes every process as traced from its start.
#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace trapabi {

// in: 4 bytes, the index of a note (from 0); out: the note, kSize bytes. Past the last
// note the call fails with ERROR_NO_MORE_ITEMS.
constexpr DWORD tcGetProcessNote = 0x5650;

// A process note, packed little-endian.
namespace process_note {
constexpr size_t kProcessId = 0,  // the driver process id
    kKind = 4,                    // kTracedLate or kNotTraced
    kSince = 8,                   // traced late: when tracing began, a FILETIME (UTC)
    kReason = 16,                 // not traced: kNoAccess, kNoCapture or kEnded
    kError = 20,                  // the system's error code behind the reason, or 0
    kName = 24,                   // the executable's name, NUL-terminated
    kNameSize = 260, kSize = 284;
enum Kind : uint32_t { kTracedLate = 1, kNotTraced = 2 };
enum Reason : uint32_t { kNoAccess = 1, kNoCapture = 2, kEnded = 3 };
}  // namespace process_note

}  // namespace trapabi
