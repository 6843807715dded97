#pragma once
// One trapped operation on its way from the process that made it to the trap driver stand-in,
// in plain terms (no record layout). Writers: the capture inside traced processes, and tests.
// Reader: the driver, which turns each message into an operation record for its subscribers.
// Each writing process has a channel of its own to the driver (ring.h).
#include <cstdint>
#include <string>

#include "platform/trapabi.h"

namespace trapfeed {

// The record kinds.
enum class Kind : uint32_t { Registry = trapabi::kRegistryRecord, File = trapabi::kFileRecord };

struct Message {
  Kind kind = Kind::File;
  // trapabi::FileOperation or trapabi::RegistryOperation.
  uint32_t operation = 0;
  // trapabi::FileSubCode: for a directory, created or removed; for an open, the access mode;
  // for a rename, fsFolderRenamed when it is a folder's. Opens for reading only are not sent.
  uint32_t subCode = 0;
  uint32_t processId = 0;  // the Win32 id; the driver applies its process key
  uint32_t status = 0;     // non-zero: the operation failed
  // Files: Win32 paths ("C:\DIR\FILE.EXT"); newPath for a rename only.
  std::string path, newPath;
  bool created = false;            // an open that created the file
  uint64_t sizeBefore = 0;         // an open: the file's size before it
  uint64_t writeTimeBefore = 0;    // an open: its last-write time before it, as a FILETIME value
  // Registry: "HKEY_LOCAL_MACHINE\..." or "HKEY_USERS\<SID>\..." (a change below
  // HKEY_CURRENT_USER is under its user's SID); empty value name for the default value.
  std::string keyPath, valueName;
  uint32_t valueType = 0;     // the new type; a deleted value's old type
  uint32_t oldValueType = 0;  // with old data: its type, which a write may change
  bool hasNewData = false, hasOldData = false;
  std::string newData, oldData;  // the raw bytes as written / as they were
  // Data too large for the feed is cut short: then its whole size, else 0.
  uint32_t newWholeSize = 0, oldWholeSize = 0;
};

// Sends one message; value data that would make it larger than the feed takes (1 MB) is
// cut short and its whole size sent with it. Waits while this process's channel is full;
// answers false at once when no driver is listening (none loaded, or tracking has stopped),
// so a writer never hangs.
bool Send(const Message& message);

// The driver names its feed after the process that loads it and puts that name in the
// environment variable VORTAN4_TRAP_FEED of its own process, so every program started from
// there afterwards writes to it. A process whose environment names no feed (started with an
// environment of its own, or from outside) writes to the feed that started listening last.
constexpr char kFeedVariable[] = "VORTAN4_TRAP_FEED";

// The event by which the capture in a process is told that tracking has stopped: the
// capture makes it when it is loaded.
inline std::string StopEventName(uint32_t processId) {
  return "Vortan4 Capture Stop " + std::to_string(processId);
}

}  // namespace trapfeed
