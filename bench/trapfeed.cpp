// The trap driver's feed against the calls it ends in: 100,000 operations sent through
// the feed, turned into records by VORTTRAP.VXD (staged beside this program) and
// delivered to a subscribing thread, which gives each back; against 100,000 calls queued
// straight to that thread. Each timing is the best of three rounds.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

#include "trapdriver/driver/exports.h"
#include "trapdriver/feed/feed.h"

namespace {

using namespace trapabi;

constexpr int kOperations = 100000;
constexpr int kRounds = 3;

decltype(&VortTrapOpen) open;
decltype(&VortTrapClose) close;
decltype(&VortTrapControl) control;
std::atomic<int> arrived{0};

void CALLBACK Record(ULONG_PTR address) {
  const uint8_t* record = reinterpret_cast<const uint8_t*>(address);
  DWORD returned = 0;
  if (record[0] == 1) {
    for (int offset : {53, 57, 61}) {
      uint32_t buffer;
      std::memcpy(&buffer, record + offset, 4);
      if (buffer) control(tcReleaseBuffer, &buffer, 4, nullptr, 0, &returned);
    }
  }
  control(tcReleaseRecord, &address, 4, nullptr, 0, &returned);
  ++arrived;
}

void CALLBACK Bare(ULONG_PTR) { ++arrived; }

// A thread in an alertable wait, subscribed to the file deletes and registry values added.
struct Subscriber {
  HANDLE wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE ready = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE thread = nullptr;
  std::thread worker;
  uint8_t blocks[2][60] = {};
  DWORD handles[2] = {};

  explicit Subscriber(bool subscribe) {
    worker = std::thread([this, subscribe] {
      DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread, 0,
                      FALSE, DUPLICATE_SAME_ACCESS);
      const uint32_t kinds[2][2] = {{64, 31}, {1, 2}};
      for (int i = 0; subscribe && i < 2; ++i) {
        std::memcpy(blocks[i], kinds[i], 8);
        blocks[i][8] = 255;
        const uint32_t routine = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&Record));
        std::memcpy(blocks[i] + 54, &routine, 4);
        DWORD returned = 0;
        control(tcSubscribe, blocks[i], 60, &handles[i], 4, &returned);
      }
      SetEvent(ready);
      while (WaitForSingleObjectEx(wake, INFINITE, TRUE) == WAIT_IO_COMPLETION) {
      }
    });
    WaitForSingleObject(ready, INFINITE);
  }
  ~Subscriber() {
    SetEvent(wake);
    worker.join();
    CloseHandle(thread);
  }
};

void WaitForAll() {
  while (arrived < kOperations) Sleep(1);
}

double Feed() {
  Subscriber subscriber(true);
  trapfeed::Message file;
  file.kind = trapfeed::Kind::File;
  file.operation = 31;
  file.processId = 0x40;
  file.path = "C:\\Program Files\\Maker\\Product\\Component\\file0000.dll";
  trapfeed::Message value;
  value.kind = trapfeed::Kind::Registry;
  value.operation = 2;
  value.keyPath = "HKEY_LOCAL_MACHINE\\Software\\Maker\\Product\\Settings";
  value.valueName = "Value";
  value.valueType = REG_SZ;
  value.hasNewData = true;
  value.newData = std::string("some text\0", 10);
  arrived = 0;
  const DWORD start = GetTickCount();
  for (int i = 0; i < kOperations; ++i) trapfeed::Send(i % 2 ? value : file);
  WaitForAll();
  return (GetTickCount() - start) / 1000.0;
}

double Calls() {
  Subscriber subscriber(false);
  arrived = 0;
  const DWORD start = GetTickCount();
  for (int i = 0; i < kOperations; ++i) QueueUserAPC(&Bare, subscriber.thread, i);
  WaitForAll();
  return (GetTickCount() - start) / 1000.0;
}

}  // namespace

int main() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::strcpy(std::strrchr(path, '\\') + 1, "VORTTRAP.VXD");
  HMODULE driver = LoadLibraryA(path);
  if (!driver) {
    std::printf("VORTTRAP.VXD is not beside the benchmark\n");
    return 1;
  }
  open = reinterpret_cast<decltype(open)>(reinterpret_cast<void*>(GetProcAddress(driver, "VortTrapOpen")));
  close = reinterpret_cast<decltype(close)>(reinterpret_cast<void*>(GetProcAddress(driver, "VortTrapClose")));
  control = reinterpret_cast<decltype(control)>(reinterpret_cast<void*>(GetProcAddress(driver, "VortTrapControl")));
  if (!open || !open()) return 1;
  double feed = 1e9, calls = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    feed = std::min(feed, Feed());
    calls = std::min(calls, Calls());
  }
  close();
  std::printf("feed, driver and delivery: %.3f s (%.0f records/s)\n", feed, kOperations / feed);
  std::printf("calls queued directly:     %.3f s (%.0f calls/s)\n", calls, kOperations / calls);
  std::printf("ratio feed/calls: %.2f\n", feed / calls);
  return 0;
}
