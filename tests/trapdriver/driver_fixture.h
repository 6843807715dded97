#pragma once
// VORTTRAP.VXD loaded from beside the test program, and a subscriber that takes its
// calls as the program's notification thread does.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/gui_driver.h"
#include "trapdriver/driver/exports.h"
#include "trapdriver/feed/feed.h"

namespace trapdriver_testing {

// The tests write the layouts out in bare numbers on purpose: a second reading of them.
// The control codes they name.
using trapabi::tcGetVersion, trapabi::tcSubscribe, trapabi::tcReleaseRecord,
    trapabi::tcUnsubscribe, trapabi::tcReleaseBuffer, trapabi::tcGetProcessKey,
    trapabi::tcGetProcessNote, trapabi::tcGetProcessName;

struct Driver {
  decltype(&VortTrapOpen) open;
  decltype(&VortTrapClose) close;
  decltype(&VortTrapControl) control;
  decltype(&VortTrapStats) stats;

  BOOL Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize) const {
    DWORD returned = 0;
    return control(code, const_cast<void*>(in), inSize, out, outSize, &returned);
  }
  VortTrapCounts Counts() const {
    VortTrapCounts counts{};
    stats(&counts);
    return counts;
  }
  uint32_t Key() const;
};

// Loaded once; the process keeps it.
const Driver& TheDriver();

// A record as its subscriber read it, in place, during the call.
struct Seen {
  uint32_t kind = 0, operation = 0;
  uint8_t subCode = 0;
  std::string path, newPath;  // files, whole
  uint8_t flags = 0;
  uint32_t processId = 0;
  uint16_t status = 0;
  uint8_t created = 0;
  uint64_t sizeBefore = 0, writeTimeBefore = 0;
  bool hasKey = false, hasSubkey = false, hasValueName = false;  // registry
  std::string key, subkey, valueName;
  uint32_t valueType = 0;
  bool hasNewData = false, hasOldData = false;
  std::string newData, oldData;
  uint32_t newWholeSize = 0, oldWholeSize = 0;  // of data cut short
  uint32_t buffers[3] = {};
  uintptr_t address = 0;
};

// A thread that subscribes the program's eleven blocks and then waits alertably. It gives
// every record and buffer back at once unless told to keep them.
class Subscriber {
 public:
  explicit Subscriber(bool giveBack = true);
  ~Subscriber();

  // The records seen so far, once there are at least that many (or after 20 s).
  std::vector<Seen> WaitFor(size_t count);
  // Holds the thread in a wait that runs no calls, until Resume.
  void Hold();
  void Resume();
  // The program's stop: flags 17, then the handle, the block address and its size.
  BOOL Unsubscribe(int block);

 private:
  static void CALLBACK Routine(ULONG_PTR record);
  void Run();

  bool giveBack_;
  uint8_t blocks_[11][60] = {};
  DWORD handles_[11] = {};
  HANDLE wake_, resume_, subscribed_;
  std::atomic<bool> stop_{false}, hold_{false};
  std::mutex lock_;
  std::vector<Seen> seen_;
  std::thread thread_;
};

// How long the driver's threads and traced programs get to deliver what a test waits for.
constexpr DWORD kDeliveryTimeout = 20000;

trapfeed::Message FileMessage(uint32_t operation, uint32_t subCode, const std::string& path);
trapfeed::Message RegistryMessage(uint32_t operation, const std::string& keyPath,
                                  const std::string& valueName = "");

}  // namespace trapdriver_testing
