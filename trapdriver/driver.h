#pragma once
// The driver behind the exports: open count, subscriptions, the feed and the thread that
// reads it, and the records delivered to subscribers. One per process.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/owners.h"
#include "trapdriver/reader.h"
#include "trapdriver/records.h"
#include "trapdriver/vorttrap.h"

namespace trapdriver {

struct Subscription {
  DWORD handle = 0;
  uint32_t block = 0;  // its address, which unsubscribing names again
  uint32_t kind = 0, operation = 0;
  uint8_t subCode = 0, mask = 0;
  PAPCFUNC routine = nullptr;
  platform::Handle thread;
  DWORD threadId = 0;
};

// A mask of 0 compares the whole sub-code, where 255 stands for any.
bool Matches(const Subscription& subscription, const trapfeed::Message& message);

// Driver id = Win32 id XOR key. The key stays the same for the life of the process that
// loads the driver, across loads: a program keeps the key it asked for once.
uint32_t ProcessKey();

class Driver {
 public:
  Driver();
  BOOL Open();
  BOOL Close();
  BOOL Control(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned);
  VortTrapCounts Counts();

 private:
  static DWORD WINAPI ReadFeed(void* self);
  void Deliver(const trapfeed::Message& message);
  bool WaitForRoom();
  void Drain(const std::vector<DWORD>& subscriberThreads);
  BOOL Subscribe(const uint8_t* block, DWORD& handle);
  BOOL Unsubscribe(const uint8_t* request);
  BOOL Release(DWORD code, uint32_t value);

  std::mutex lifecycle_;  // open and close
  std::atomic<LONG> opens_{0};
  std::atomic<bool> stopping_{false};
  FeedReader feed_;
  platform::Handle reader_;
  platform::Handle stop_;      // manual reset: the reader ends
  platform::Handle released_;  // auto reset: a release made room

  std::mutex lock_;  // everything below
  bool wantRelease_ = false;
  std::vector<Subscription> subscriptions_;
  DWORD nextHandle_ = 0;
  RecordStore store_;
  std::vector<DWORD> matching_;
  uint32_t key_ = 0;
  DWORD delivered_ = 0, malformed_ = 0, abandoned_ = 0;
};

}  // namespace trapdriver
