#include "driver_fixture.h"

#include <cstring>

#include "platform/trapabi.h"

namespace trapdriver_testing {
namespace {

Subscriber* current = nullptr;

// The program's eleven subscriptions: kind, operation, sub-code, mask, flags.
struct Block {
  uint32_t kind, operation;
  uint8_t subCode, mask;
  uint16_t flags;
};
constexpr Block kBlocks[11] = {
    {64, 32, 0, 0, 0},   {64, 32, 1, 0, 0},   {64, 31, 255, 0, 0}, {64, 36, 1, 7, 0x8000},
    {64, 37, 255, 0, 0}, {64, 36, 2, 7, 0x8000}, {1, 0, 255, 0, 0},  {1, 1, 255, 0, 0},
    {1, 4, 255, 0, 0},   {1, 3, 255, 0, 0},   {1, 2, 255, 0, 0}};

template <class T>
T At(const uint8_t* record, size_t offset) {
  T value;
  std::memcpy(&value, record + offset, sizeof value);
  return value;
}

std::string PathAt(const uint8_t* record, size_t offset) {
  const char* text = reinterpret_cast<const char*>(record + offset);
  return std::string(text, strnlen(text, 260));
}

const char* Pointer(const uint8_t* record, size_t offset) {
  return reinterpret_cast<const char*>(static_cast<uintptr_t>(At<uint32_t>(record, offset)));
}

Seen Read(const uint8_t* record) {
  Seen seen;
  seen.address = reinterpret_cast<uintptr_t>(record);
  seen.kind = At<uint32_t>(record, 0);
  seen.operation = At<uint32_t>(record, 4);
  if (seen.kind == 64) {
    seen.subCode = record[12];
    seen.path = PathAt(record, 23);
    seen.newPath = PathAt(record, 283);
    // The stand-in's own bytes: the whole paths beside the record, and its flags.
    using namespace trapabi::file_record;
    if (At<uint32_t>(record, kTag) == kExtensionTag) {
      if (const char* whole = Pointer(record, kWholePath))
        seen.path.assign(whole, At<uint32_t>(record, kWholePathLength));
      if (const char* whole = Pointer(record, kWholeNewPath))
        seen.newPath.assign(whole, At<uint32_t>(record, kWholeNewPathLength));
      seen.flags = record[kFlags];
    }
    seen.processId = At<uint32_t>(record, 552);
    seen.status = At<uint16_t>(record, 556);
    seen.created = record[566];
    seen.sizeBefore = At<uint64_t>(record, 567);
    seen.writeTimeBefore = At<uint64_t>(record, 575);
    return seen;
  }
  seen.processId = At<uint32_t>(record, 17);
  const char* key = Pointer(record, 21);
  const char* subkey = Pointer(record, 25);
  const char* valueName = Pointer(record, 29);
  seen.hasKey = key, seen.hasSubkey = subkey, seen.hasValueName = valueName;
  seen.key = key ? key : "";
  seen.subkey = subkey ? subkey : "";
  seen.valueName = valueName ? valueName : "";
  seen.valueType = At<uint32_t>(record, 33);
  const char* newData = Pointer(record, 37);
  const char* oldData = Pointer(record, 45);
  seen.hasNewData = newData, seen.hasOldData = oldData;
  if (newData) seen.newData.assign(newData, At<uint32_t>(record, 41));
  if (oldData) seen.oldData.assign(oldData, At<uint32_t>(record, 49));
  seen.newWholeSize = At<uint32_t>(record, 8);
  seen.oldWholeSize = At<uint32_t>(record, 12);
  for (int i = 0; i < 3; ++i) seen.buffers[i] = At<uint32_t>(record, 53 + 4 * i);
  return seen;
}

}  // namespace

const Driver& TheDriver() {
  static const Driver driver = [] {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::strcpy(std::strrchr(path, '\\') + 1, "VORTTRAP.VXD");
    HMODULE module = LoadLibraryA(path);
    auto entry = [module](const char* name) {
      return reinterpret_cast<void*>(GetProcAddress(module, name));
    };
    Driver loaded{};
    loaded.open = reinterpret_cast<decltype(loaded.open)>(entry("VortTrapOpen"));
    loaded.close = reinterpret_cast<decltype(loaded.close)>(entry("VortTrapClose"));
    loaded.control = reinterpret_cast<decltype(loaded.control)>(entry("VortTrapControl"));
    loaded.stats = reinterpret_cast<decltype(loaded.stats)>(entry("VortTrapStats"));
    return loaded;
  }();
  return driver;
}

uint32_t Driver::Key() const {
  DWORD self = GetCurrentProcessId(), key = 0;
  Control(tcGetProcessKey, &self, 4, &key, 4);
  return key;
}

Subscriber::Subscriber(bool giveBack)
    : giveBack_(giveBack),
      wake_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      resume_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      subscribed_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  current = this;
  for (int i = 0; i < 11; ++i) {
    uint8_t* block = blocks_[i];
    std::memcpy(block, &kBlocks[i].kind, 4);
    std::memcpy(block + 4, &kBlocks[i].operation, 4);
    block[8] = kBlocks[i].subCode;
    block[9] = kBlocks[i].mask;
    std::memset(block + 10, 255, 8);
    const uint32_t routine = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&Routine));
    std::memcpy(block + 54, &routine, 4);
    std::memcpy(block + 58, &kBlocks[i].flags, 2);
  }
  thread_ = std::thread([this] { Run(); });
  WaitForSingleObject(subscribed_, 20000);
}

Subscriber::~Subscriber() {
  for (int i = 0; i < 11; ++i)
    if (handles_[i]) Unsubscribe(i);
  stop_ = true;
  SetEvent(wake_);
  SetEvent(resume_);
  thread_.join();
  CloseHandle(wake_);
  CloseHandle(resume_);
  CloseHandle(subscribed_);
  current = nullptr;
}

void Subscriber::Run() {
  for (int i = 0; i < 11; ++i) TheDriver().Control(tcSubscribe, blocks_[i], 60, &handles_[i], 4);
  SetEvent(subscribed_);
  while (!stop_) {
    if (WaitForSingleObjectEx(wake_, INFINITE, TRUE) == WAIT_IO_COMPLETION) continue;
    if (hold_) WaitForSingleObject(resume_, INFINITE);
  }
}

void CALLBACK Subscriber::Routine(ULONG_PTR address) {
  const uint8_t* record = reinterpret_cast<const uint8_t*>(address);
  Seen seen = Read(record);
  {
    std::lock_guard<std::mutex> hold(current->lock_);
    current->seen_.push_back(seen);
  }
  if (!current->giveBack_) return;
  for (uint32_t buffer : seen.buffers)
    if (buffer) TheDriver().Control(tcReleaseBuffer, &buffer, 4, nullptr, 0);
  TheDriver().Control(tcReleaseRecord, &address, 4, nullptr, 0);
}

std::vector<Seen> Subscriber::WaitFor(size_t count) {
  gui::WaitFor([&] {
    std::lock_guard<std::mutex> hold(lock_);
    return seen_.size() >= count;
  }, kDeliveryTimeout);
  std::lock_guard<std::mutex> hold(lock_);
  return seen_;
}

void Subscriber::Hold() {
  hold_ = true;
  SetEvent(wake_);
}

void Subscriber::Resume() {
  hold_ = false;
  SetEvent(resume_);
}

BOOL Subscriber::Unsubscribe(int block) {
  const uint16_t flags = 17;
  std::memcpy(blocks_[block] + 58, &flags, 2);
  uint8_t request[12] = {};
  const uint32_t address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(blocks_[block]));
  const uint16_t size = 60;
  std::memcpy(request, &handles_[block], 4);
  std::memcpy(request + 4, &address, 4);
  std::memcpy(request + 8, &size, 2);
  BOOL done = TheDriver().Control(tcUnsubscribe, request, 12, nullptr, 0);
  if (done) handles_[block] = 0;
  return done;
}

trapfeed::Message FileMessage(uint32_t operation, uint32_t subCode, const std::string& path) {
  trapfeed::Message message;
  message.kind = trapfeed::Kind::File;
  message.operation = operation;
  message.subCode = subCode;
  message.processId = 0x24;
  message.path = path;
  return message;
}

trapfeed::Message RegistryMessage(uint32_t operation, const std::string& keyPath,
                                  const std::string& valueName) {
  trapfeed::Message message;
  message.kind = trapfeed::Kind::Registry;
  message.operation = operation;
  message.processId = 0x30;
  message.keyPath = keyPath;
  message.valueName = valueName;
  return message;
}

}  // namespace trapdriver_testing
