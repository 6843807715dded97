#include "realtime/vorttrap.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/ioerror.h"
#include "realtime/processes.h"

namespace realtime {

using namespace trapabi;

namespace {

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

// The run in force: the driver's routine is given only the record, and the launcher's
// thread traces and names processes in it. Set and cleared under the lock, which also
// keeps every other open of the driver apart from the run's (the library form is one
// driver per process).
std::atomic<RealTimeTracking*> inForce{nullptr};
std::mutex inForceLock;

template <class T>
void Put(unsigned char* block, size_t offset, T value) {
  std::memcpy(block + offset, &value, sizeof value);
}

void MakeBlock(unsigned char* block, const Subscription& wanted, uint32_t routine) {
  std::memset(block, 0, kSubscriptionSize);
  Put(block, subscription::kKind, wanted.kind);
  Put(block, subscription::kOperation, wanted.operation);
  block[subscription::kSubCode] = wanted.subCode;
  block[subscription::kSubCodeMask] = wanted.subCodeMask;
  std::memset(block + subscription::kSelector, 255, subscription::kSelectorSize);
  Put(block, subscription::kFlags, wanted.flags);
  Put(block, subscription::kRoutine, routine);
}

// The stand-in driver's notes on the processes it could not see whole; a device driver,
// which sees every process, does not know the request.
std::vector<ProcessNote> ReadProcessNotes(const TrapDevice& device) {
  std::vector<ProcessNote> notes;
  unsigned char bytes[process_note::kSize];
  for (uint32_t index = 0;
       device.Control(tcGetProcessNote, &index, sizeof index, bytes, sizeof bytes); ++index) {
    ProcessNote note;
    if (DecodeProcessNote(bytes, note)) notes.push_back(note);
  }
  return notes;
}

}  // namespace

std::string OpenFailureText(DWORD error, const DriverSource& source) {
  return "Failed to open " + DriverPath(source) + ": " + platform::SystemErrorText(error);
}

RealTimeTracking::RealTimeTracking(const std::string& copiesFolder, DriverSource source)
    : source_(std::move(source)),
      recorder_([this](uint32_t id) { return LookUpProcessName(id, processKey_); }) {
  Start(copiesFolder);
}

RealTimeTracking::~RealTimeTracking() { Stop(); }

void RealTimeTracking::Start(const std::string& copiesFolder) {
  std::lock_guard<std::mutex> hold(inForceLock);
  if (inForce) {
    failure_ = "Real-time tracking is already running.";
    started_ = srNoVersion;
    return;
  }
  DWORD error = 0;
  device_ = TrapDevice::Open(source_, error);
  if (!device_.valid()) {
    failure_ = OpenFailureText(error, source_);
    started_ = srNoDriver;
    return;
  }
  uint16_t version = 0;
  if (!device_.Control(tcGetVersion, nullptr, 0, &version, sizeof version)) {
    failure_ = "The trap driver did not answer the version query.";
    started_ = srNoVersion;
    device_.Close();
    return;
  }
  if (Windows95or98()) processKey_ = AskProcessKey();
  if (!copiesFolder.empty()) backups_ = FileBackups(copiesFolder);
  const auto routine = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&NotificationRoutine));
  for (int i = 0; i < kSubscriptionCount; ++i)
    MakeBlock(blocks_[i], kSubscriptionTable[i], routine);
  inForce = this;
  wakeUp_.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
  subscribed_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  DWORD threadId = 0;
  notificationThread_.reset(CreateThread(nullptr, 4096, NotificationThread, this, 0, &threadId));
  if (!notificationThread_) {
    failure_ = "No thread could be started to receive the trap driver's notifications.";
    started_ = srNoVersion;
    inForce = nullptr;
    backups_.Stop();
    device_.Close();
    return;
  }
  // Operations made before the subscriptions are in force would be lost.
  HANDLE ready[2] = {subscribed_.get(), notificationThread_.get()};
  WaitForMultipleObjects(2, ready, FALSE, INFINITE);
  started_ = srStarted;
  active_ = true;
}

void CALLBACK RealTimeTracking::NotificationRoutine(ULONG_PTR record) {
  // The run is in force from before its thread starts until after it has ended.
  if (RealTimeTracking* tracking = inForce) tracking->Receive(record);
}

void RealTimeTracking::Receive(ULONG_PTR record) {
  recorder_.Decode(reinterpret_cast<const void*>(record));
  uint32_t kind;
  std::memcpy(&kind, reinterpret_cast<const void*>(record), sizeof kind);
  if (kind == kRegistryRecord) {
    for (size_t offset : registry_record::kBuffers) {
      uint32_t buffer;
      std::memcpy(&buffer, reinterpret_cast<const char*>(record) + offset, sizeof buffer);
      if (buffer != 0) device_.Control(tcReleaseBuffer, &buffer, sizeof buffer, nullptr, 0);
    }
  }
  uint32_t address = static_cast<uint32_t>(record);
  device_.Control(tcReleaseRecord, &address, sizeof address, nullptr, 0);
}

// The driver delivers each notification to the thread that subscribed, so this thread
// subscribes and then waits, alertable, until the stop wakes it.
DWORD WINAPI RealTimeTracking::NotificationThread(void* parameter) {
  auto& tracking = *static_cast<RealTimeTracking*>(parameter);
  for (int i = 0; i < kSubscriptionCount; ++i) {
    uint32_t handle = 0;
    tracking.device_.Control(tcSubscribe, tracking.blocks_[i], kSubscriptionSize, &handle,
                             sizeof handle);
    tracking.subscriptionHandles_[i] = handle;
  }
  SetEvent(tracking.subscribed_.get());
  while (WaitForSingleObjectEx(tracking.wakeUp_.get(), INFINITE, TRUE) == WAIT_IO_COMPLETION) {
  }
  // Records queued before the subscriptions were withdrawn are still ours to decode and
  // to give back while the driver is loaded.
  while (SleepEx(0, TRUE) == WAIT_IO_COMPLETION) {
  }
  return 0;
}

uint32_t RealTimeTracking::AskProcessKey() const {
  const uint32_t self = GetCurrentProcessId();
  uint32_t key = 0;
  return device_.Control(tcGetProcessKey, &self, sizeof self, &key, sizeof key) ? key : 0;
}

void RealTimeTracking::Withdraw() {
  for (int i = 0; i < kSubscriptionCount; ++i) {
    Put(blocks_[i], subscription::kFlags, subscription::kWithdrawn);
    unsigned char withdrawal[unsubscribe::kSize] = {};
    Put(withdrawal, unsubscribe::kHandle, subscriptionHandles_[i]);
    const auto block = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(blocks_[i]));
    Put(withdrawal, unsubscribe::kBlock, block);
    Put(withdrawal, unsubscribe::kBlockSize, static_cast<uint16_t>(kSubscriptionSize));
    device_.Control(tcUnsubscribe, withdrawal, sizeof withdrawal, nullptr, 0);
  }
  SetEvent(wakeUp_.get());
  WaitForSingleObject(notificationThread_.get(), INFINITE);
}

TrackingResults RealTimeTracking::Stop() {
  {
    std::lock_guard<std::mutex> hold(inForceLock);
    if (!active_) {
      TrackingResults results;
      results.failure = failure_;
      return results;
    }
    active_ = false;  // no process is traced from now on
  }
  backups_.Stop();
  std::vector<ProcessNote> notes = ReadProcessNotes(device_);
  NameNotedProcesses(notes, AskProcessKey());
  Withdraw();
  // Every record is in: the driver names what had ended before it could be looked up.
  recorder_.NameUnnamedProcesses([this](uint32_t processId) {
    char name[process_note::kNameSize] = "";
    return device_.Control(tcGetProcessName, &processId, sizeof processId, name, sizeof name)
               ? std::string(name, strnlen(name, sizeof name))
               : std::string();
  });
  {
    std::lock_guard<std::mutex> hold(inForceLock);
    inForce = nullptr;
    device_.Close();
  }
  notificationThread_.reset();
  wakeUp_.reset();
  subscribed_.reset();
  TrackingResults results = recorder_.Take();
  results.notes = std::move(notes);
  results.failure = failure_;
  return results;
}

bool QueryDriver(const DriverSource& source, DWORD code, const void* in, DWORD inSize, void* out,
                 DWORD outSize, DWORD& error) {
  std::lock_guard<std::mutex> hold(inForceLock);
  error = 0;
  if (RealTimeTracking* tracking = inForce)
    return tracking->Control(code, in, inSize, out, outSize);
  const TrapDevice device = TrapDevice::Open(source, error);
  return device.valid() && device.Control(code, in, inSize, out, outSize);
}

int32_t GetTrapDriverVersion(const DriverSource& source) {
  uint16_t version = 0;
  DWORD error = 0;
  return QueryDriver(source, tcGetVersion, nullptr, 0, &version, sizeof version, error) ? version
                                                                                         : -1;
}

uint32_t GetProcessKey(std::string& failure, const DriverSource& source) {
  const uint32_t self = GetCurrentProcessId();
  uint32_t key = 0;
  DWORD error = 0;
  if (QueryDriver(source, tcGetProcessKey, &self, sizeof self, &key, sizeof key, error)) return key;
  if (error != 0) failure = OpenFailureText(error, source);
  return 0;
}

void TraceNewProcess(HANDLE process, HANDLE thread, DWORD processId) {
  std::lock_guard<std::mutex> hold(inForceLock);
  if (RealTimeTracking* tracking = inForce) tracking->Trace(process, thread, processId);
}

void RegisterProcess(uint32_t driverProcessId) {
  std::lock_guard<std::mutex> hold(inForceLock);
  if (RealTimeTracking* tracking = inForce) tracking->Register(driverProcessId);
}

}  // namespace realtime
