#include "realtime/vorttrap.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/ioerror.h"
#include "platform/owners.h"
#include "realtime/backup_folder.h"
#include "realtime/device.h"
#include "realtime/processes.h"
#include "realtime/records.h"

namespace realtime {
namespace {

using Block = unsigned char[kSubscriptionSize];

// What each block asks for: directories created and removed, files deleted, opened for
// writing (access mode 1), renamed, opened for reading and writing (mode 2); registry
// keys created and deleted, values deleted, changed and added.
struct Subscription {
  uint32_t kind, operation;
  uint8_t subCode, subCodeMask;
  uint16_t flags;
};
constexpr uint8_t kAny = subscription::kAnySubCode, kAccess = subscription::kOpenAccessMask;
constexpr uint16_t kOpen = subscription::kOpenFlags;
constexpr Subscription kSubscriptionTable[kSubscriptionCount] = {
    {kFileRecord, foDirectory, fsDirectoryCreated, 0, 0},
    {kFileRecord, foDirectory, fsDirectoryRemoved, 0, 0},
    {kFileRecord, foDelete, kAny, 0, 0},
    {kFileRecord, foOpen, fsWriteOnly, kAccess, kOpen},
    {kFileRecord, foRename, kAny, 0, 0},
    {kFileRecord, foOpen, fsReadWrite, kAccess, kOpen},
    {kRegistryRecord, roKeyCreated, kAny, 0, 0},
    {kRegistryRecord, roKeyDeleted, kAny, 0, 0},
    {kRegistryRecord, roValueDeleted, kAny, 0, 0},
    {kRegistryRecord, roValueChanged, kAny, 0, 0},
    {kRegistryRecord, roValueAdded, kAny, 0, 0},
};

// The blocks live for the whole run: the driver may keep their addresses.
Block blocks[kSubscriptionCount] = {};

template <class T>
void Put(unsigned char* block, size_t offset, T value) {
  std::memcpy(block + offset, &value, sizeof value);
}

bool MakeBlocks() {
  for (int i = 0; i < kSubscriptionCount; ++i) {
    unsigned char* block = blocks[i];
    const Subscription& wanted = kSubscriptionTable[i];
    std::memset(block, 0, kSubscriptionSize);
    Put(block, subscription::kKind, wanted.kind);
    Put(block, subscription::kOperation, wanted.operation);
    block[subscription::kSubCode] = wanted.subCode;
    block[subscription::kSubCodeMask] = wanted.subCodeMask;
    std::memset(block + subscription::kSelector, 255, subscription::kSelectorSize);
    Put(block, subscription::kFlags, wanted.flags);
  }
  return true;
}
const bool blocksMade = MakeBlocks();

// The session. The device is used by the notification thread until it has ended and by
// the launcher's thread (TraceNewProcess), which the session lock keeps from a closing
// device.
TrapDevice session;
std::mutex sessionLock;
// Start and stop, whichever threads they come from, one at a time.
std::mutex lifecycleLock;
std::atomic<bool> active{false};
uint32_t subscriptionHandles[kSubscriptionCount] = {};
platform::Handle wakeUp;
platform::Handle subscribed;
platform::Handle notificationThread;
std::string failure;

void CALLBACK NotificationRoutine(ULONG_PTR record) {
  DecodeTrapRecord(reinterpret_cast<const void*>(record));
  uint32_t kind;
  std::memcpy(&kind, reinterpret_cast<const void*>(record), sizeof kind);
  if (kind == kRegistryRecord) {
    for (size_t offset : registry_record::kBuffers) {
      uint32_t buffer;
      std::memcpy(&buffer, reinterpret_cast<const char*>(record) + offset, sizeof buffer);
      if (buffer != 0) session.Control(tcReleaseBuffer, &buffer, sizeof buffer, nullptr, 0);
    }
  }
  uint32_t address = static_cast<uint32_t>(record);
  session.Control(tcReleaseRecord, &address, sizeof address, nullptr, 0);
}

// The driver delivers each notification to the thread that subscribed, so this thread
// subscribes and then waits, alertable, until the stop wakes it.
DWORD WINAPI NotificationThread(void*) {
  for (int i = 0; i < kSubscriptionCount; ++i) {
    uint32_t handle = 0;
    session.Control(tcSubscribe, blocks[i], kSubscriptionSize, &handle, sizeof handle);
    subscriptionHandles[i] = handle;
  }
  SetEvent(subscribed.get());
  while (WaitForSingleObjectEx(wakeUp.get(), INFINITE, TRUE) == WAIT_IO_COMPLETION) {
  }
  // Records queued before the subscriptions were withdrawn are still ours to decode and
  // to give back while the driver is loaded.
  while (SleepEx(0, TRUE) == WAIT_IO_COMPLETION) {
  }
  return 0;
}

}  // namespace

const unsigned char* SubscriptionBlock(int i) { return blocks[i]; }

std::string OpenFailureText(DWORD error) {
  return "Failed to open " + DriverPath() + ": " + platform::SystemErrorText(error);
}

namespace {

// The stand-in driver's notes on the processes it could not see whole; a device driver,
// which sees every process, does not know the request.
std::vector<ProcessNote> ReadProcessNotes(const TrapDevice& device) {
  std::vector<ProcessNote> notes;
  unsigned char bytes[trapabi::process_note::kSize];
  for (uint32_t index = 0;
       device.Control(trapabi::tcGetProcessNote, &index, sizeof index, bytes, sizeof bytes);
       ++index) {
    ProcessNote note;
    if (DecodeProcessNote(bytes, note)) notes.push_back(note);
  }
  return notes;
}

void StopLocked() {
  if (!active.exchange(false)) return;
  StopFileBackups();
  SetProcessNotes(ReadProcessNotes(session));
  for (int i = 0; i < kSubscriptionCount; ++i) {
    Put(blocks[i], subscription::kFlags, subscription::kWithdrawn);
    unsigned char withdrawal[unsubscribe::kSize] = {};
    Put(withdrawal, unsubscribe::kHandle, subscriptionHandles[i]);
    const auto block = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(blocks[i]));
    Put(withdrawal, unsubscribe::kBlock, block);
    Put(withdrawal, unsubscribe::kBlockSize, static_cast<uint16_t>(kSubscriptionSize));
    session.Control(tcUnsubscribe, withdrawal, sizeof withdrawal, nullptr, 0);
  }
  SetEvent(wakeUp.get());
  WaitForSingleObject(notificationThread.get(), INFINITE);
  // Every record is in: the driver names what had ended before it could be looked up.
  NameUnnamedProcesses([](uint32_t processId) {
    char name[trapabi::process_note::kNameSize] = "";
    return session.Control(trapabi::tcGetProcessName, &processId, sizeof processId, name, sizeof name)
               ? std::string(name, strnlen(name, sizeof name))
               : std::string();
  });
  notificationThread.reset();
  wakeUp.reset();
  subscribed.reset();
  std::lock_guard<std::mutex> hold(sessionLock);
  session.Close();
}

// The start; a driver that cannot be opened is for the caller to report, once the lock is
// let go (a message box waits for the user).
int32_t StartLocked(const std::string& copiesFolder) {
  StopLocked();
  ClearTrackedLists();
  if (!copiesFolder.empty()) StartFileBackups(copiesFolder);
  DWORD error = 0;
  TrapDevice device = TrapDevice::Open(error);
  if (!device.valid()) {
    failure = OpenFailureText(error);
    return srNoDriver;
  }
  uint16_t version = 0;
  if (!device.Control(tcGetVersion, nullptr, 0, &version, sizeof version)) {
    failure = "The trap driver did not answer the version query.";
    return srNoVersion;
  }
  for (unsigned char* block : blocks)
    Put(block, subscription::kRoutine, static_cast<uint32_t>(
                                           reinterpret_cast<uintptr_t>(&NotificationRoutine)));
  {
    std::lock_guard<std::mutex> hold(sessionLock);
    session = std::move(device);
  }
  wakeUp.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
  subscribed.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  DWORD threadId = 0;
  notificationThread.reset(CreateThread(nullptr, 4096, NotificationThread, nullptr, 0, &threadId));
  if (!notificationThread) {
    failure = "No thread could be started to receive the trap driver's notifications.";
    std::lock_guard<std::mutex> hold(sessionLock);
    session.Close();
    return srNoVersion;
  }
  // Operations made before the subscriptions are in force would be lost.
  HANDLE ready[2] = {subscribed.get(), notificationThread.get()};
  WaitForMultipleObjects(2, ready, FALSE, INFINITE);
  failure.clear();
  active = true;
  return srStarted;
}

}  // namespace

int32_t StartRealTimeTracking(const std::string& copiesFolder) {
  int32_t result = srStarted;
  std::string unopened;
  {
    std::lock_guard<std::mutex> hold(lifecycleLock);
    result = StartLocked(copiesFolder);
    if (result == srNoDriver) unopened = failure;
  }
  if (!unopened.empty()) MessageBoxA(nullptr, unopened.c_str(), "Vortan4", MB_ICONERROR | MB_OK);
  return result;
}

void StopRealTimeTracking() {
  std::lock_guard<std::mutex> hold(lifecycleLock);
  StopLocked();
}

bool RealTimeTrackingActive() { return active; }

std::string TrackingFailure() { return failure; }

int32_t GetTrapDriverVersion() {
  DWORD error = 0;
  TrapDevice device = TrapDevice::Open(error);
  if (!device.valid()) return -1;
  uint16_t version = 0;
  return device.Control(tcGetVersion, nullptr, 0, &version, sizeof version) ? version : -1;
}

uint32_t GetProcessKey() {
  DWORD error = 0;
  TrapDevice device = TrapDevice::Open(error);
  if (!device.valid()) {
    MessageBoxA(nullptr, OpenFailureText(error).c_str(), "DEBUG", MB_OK);
    return 0;
  }
  uint32_t self = GetCurrentProcessId();
  uint32_t key = 0;
  return device.Control(tcGetProcessKey, &self, sizeof self, &key, sizeof key) ? key : 0;
}

void TraceNewProcess(HANDLE process, HANDLE thread, DWORD processId) {
  std::lock_guard<std::mutex> hold(sessionLock);
  if (active) session.TraceProcess(process, thread, processId);
}

}  // namespace realtime
