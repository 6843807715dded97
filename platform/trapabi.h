#pragma once
// The trap driver's binary interface: the control codes and their buffers, the subscription
// block, the operation records and their codes. The program's side (realtime/) and the
// driver's stand-in (trapdriver/driver/) both read and write through these names, so each
// offset is stated here once. All numbers are little-endian, all fields packed.
#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace trapabi {

// The control codes, with the sizes of their input and output buffers below.
enum TrapControl : DWORD {
  tcGetVersion = 1,     // out: the version, major in the high byte
  tcSubscribe = 2,      // in: a subscription block; out: its handle
  tcReleaseRecord = 3,  // in: the address of a delivered record
  tcUnsubscribe = 4,    // in: an unsubscribe request
  tcReleaseBuffer = 5,  // in: a buffer reference out of a registry record
  tcGetProcessKey = 6,  // in: the caller's Win32 process id; out: the key
};
struct ControlBuffers {
  DWORD in, out;
};
// By control code; entry 0 is no code.
constexpr ControlBuffers kControlBuffers[] = {{0, 0}, {0, 2}, {60, 4}, {4, 0},
                                              {12, 0}, {4, 0}, {4, 4}};

// The record kinds, also the kind field of a subscription.
constexpr uint32_t kFileRecord = 64;
constexpr uint32_t kRegistryRecord = 1;

// Subscription block: what to trap and the routine that receives it.
constexpr size_t kSubscriptionSize = 60;
namespace subscription {
constexpr size_t kKind = 0, kOperation = 4, kSubCode = 8, kSubCodeMask = 9, kSelector = 10,
                 kSelectorSize = 8, kRoutine = 54, kFlags = 58;
constexpr uint8_t kAnySubCode = 255;       // with mask 0: every sub-code
constexpr uint8_t kOpenAccessMask = 7;     // the open mode's access bits
constexpr uint16_t kOpenFlags = 0x8000;    // the flags of the two open subscriptions
constexpr uint16_t kWithdrawn = 17;        // the flags a block carries when it is withdrawn
}  // namespace subscription

// Unsubscribe request: the subscription's handle, the block's address, its size (16 bits)
// and two zero bytes.
namespace unsubscribe {
constexpr size_t kHandle = 0, kBlock = 4, kBlockSize = 8, kSize = 12;
}  // namespace unsubscribe

// File record, at least kSize bytes.
namespace file_record {
constexpr size_t kKind = 0, kOperation = 4, kSubCode = 12, kPath = 23, kNewPath = 283,
                 kProcessId = 552, kStatus = 556, kCreated = 566, kSizeLow = 567,
                 kSizeHigh = 571, kWriteTimeLow = 575, kWriteTimeHigh = 579, kSize = 583;
// A path without a NUL fills its field.
constexpr size_t kPathSize = 260;
// Bytes the layout leaves to the driver, which the stand-in uses and the program reads only
// where kExtensionTag stands at kTag: the flags, and the whole paths. A path field holds 260
// bytes, NT paths run to 32,767 characters: a longer path lies at the address kWholePath
// with its length in bytes at kWholePathLength, the new path likewise (address 0 when the
// field holds it all).
constexpr size_t kTag = 13, kFlags = 17, kWholePathLength = 543, kWholeNewPathLength = 547,
                 kWholePath = 558, kWholeNewPath = 562;
constexpr uint32_t kExtensionTag = 0x58345456;  // "VT4X"
}  // namespace file_record
// The flags at file_record::kFlags.
enum FileRecordFlag : uint8_t { ffFolder = 1 };  // a rename of a folder
// File operations: the hook numbers of the 95/98 file system.
enum FileOperation : uint32_t { foDelete = 31, foDirectory = 32, foOpen = 36, foRename = 37 };
// The sub-code of a directory operation, and of an open (its access mode). The feed's
// messages also mark a rename of a folder so, which the records carry as ffFolder.
enum FileSubCode : uint8_t {
  fsDirectoryCreated = 0, fsDirectoryRemoved = 1, fsWriteOnly = 1, fsReadWrite = 2,
  fsFolderRenamed = 1
};

// Registry record, at least kSize bytes; pointers into the driver's memory, 0 when absent.
namespace registry_record {
constexpr size_t kKind = 0, kOperation = 4, kProcessId = 17, kKey = 21, kSubkey = 25,
                 kValueName = 29, kValueType = 33, kNewData = 37, kNewSize = 41, kOldData = 45,
                 kOldSize = 49, kBuffer1 = 53, kBuffer2 = 57, kBuffer3 = 61, kSize = 65;
constexpr size_t kBuffers[] = {kBuffer1, kBuffer2, kBuffer3};
// The stand-in's own use of bytes the layout leaves to the driver: the whole size of data
// too large for it to carry, which it cut short (0 when the data is whole), and the type
// of the old data plus one (0 when not known: the old data then has the value's type).
constexpr size_t kNewWholeSize = 8, kOldWholeSize = 12, kOldTypePlusOne = 16;
}  // namespace registry_record
enum RegistryOperation : uint32_t {
  roKeyCreated = 0, roKeyDeleted = 1, roValueAdded = 2, roValueChanged = 3, roValueDeleted = 4
};

// The stand-in driver's own control code, beyond the device's six: which processes it could
// not see whole. A device driver, which sees every process from its start, fails the call,
// and the program then takes every process as traced from its start.
// in: 4 bytes, the index of a note (from 0); out: the note, kSize bytes. Past the last
// note the call fails with ERROR_NO_MORE_ITEMS.
constexpr DWORD tcGetProcessNote = 0x5650;

// The stand-in's other code: the executable of a process it traced, which the program asks
// for when the process had ended before its name could be looked up (a short-lived one
// started from outside). in: 4 bytes, the driver process id; out: kNameSize bytes, the
// name NUL-terminated. A process the driver never saw fails with ERROR_NOT_FOUND.
constexpr DWORD tcGetProcessName = 0x5651;

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

// The driver as a library, as a program loads it under Wine in place of opening the device
// (the control codes and their buffers are those above). Declared here once for the program,
// which looks them up by these names, and for the stand-in, which defines them.
namespace library {
constexpr char kOpen[] = "VortTrapOpen";
constexpr char kClose[] = "VortTrapClose";
constexpr char kControl[] = "VortTrapControl";
constexpr char kTraceProcess[] = "VortTrapTraceProcess";
}  // namespace library

}  // namespace trapabi

// The stand-in builds with VORTTRAP_LIBRARY defined, which exports the entry points.
#ifdef VORTTRAP_LIBRARY
#define VORTTRAP_ENTRY __declspec(dllexport)
#else
#define VORTTRAP_ENTRY
#endif

extern "C" {
// One more open handle; the first starts the driver's work.
VORTTRAP_ENTRY BOOL WINAPI VortTrapOpen(void);
// One handle fewer; the last stops its threads and frees its memory.
VORTTRAP_ENTRY BOOL WINAPI VortTrapClose(void);
// A control code with its buffers, as DeviceIoControl takes them.
VORTTRAP_ENTRY BOOL WINAPI VortTrapControl(DWORD code, void* in, DWORD inSize, void* out,
                                           DWORD outSize, DWORD* returned);
// Called by the launcher for each new process that it traces.
VORTTRAP_ENTRY BOOL WINAPI VortTrapTraceProcess(HANDLE process, HANDLE thread, DWORD processId);
}
