#pragma once
// The driver behind the exports: open count, subscriptions, the feed and the thread that
// reads it, and the records delivered to subscribers. One per process.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/owners.h"
#include "trapdriver/feed/reader.h"
#include "trapdriver/driver/record_store.h"
#include "trapdriver/driver/exports.h"

namespace trapdriver {

struct Subscription {
  DWORD handle = 0;
  uint32_t block = 0;  // its address, which unsubscribing names again
  uint32_t kind = 0, operation = 0;
  uint8_t subCode = 0, mask = 0;
  PAPCFUNC routine = nullptr;
  DWORD threadId = 0;
};

// The records on their way to one subscribing thread, in order. One queued call of the
// driver's own runs the routines of everything waiting, on that thread, so a busy feed
// costs one call per batch and not one per record.
struct Pending {
  uint8_t* record;
  PAPCFUNC routine;
};
struct ThreadQueue {
  platform::Handle thread;
  std::deque<Pending> records;
  bool callQueued = false;
};

// A critical section that spins a little first: the reader and the subscribers hold it
// for a few instructions at a time.
class Lock {
 public:
  Lock() { InitializeCriticalSectionAndSpinCount(&section_, 4000); }
  ~Lock() { DeleteCriticalSection(&section_); }
  // Spelled as std::lock_guard wants them.
  void lock() { EnterCriticalSection(&section_); }
  void unlock() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
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
  using Hold = std::lock_guard<Lock>;
  // delivery.cpp: the reader thread and the calls queued to subscribers.
  static DWORD WINAPI ReadFeed(void* self);
  static void CALLBACK RunRoutines(ULONG_PTR);
  void Deliver(const trapfeed::Message& message);
  bool WaitForRoom();
  void Queue(DWORD threadId, uint8_t* record, PAPCFUNC routine);
  void Drain(const std::vector<DWORD>& subscriberThreads);
  void CatchUp();
  void AnswerCatchUp(LONG& marked);
  void DropUndelivered();

  BOOL Subscribe(const uint8_t* block, DWORD& handle);
  BOOL Unsubscribe(const uint8_t* request);
  BOOL Release(DWORD code, uint32_t value);
  // The stand-in's own code: which processes it could not see whole.
  BOOL ProcessNote(void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned);
  BOOL ProcessName(void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned);

  std::mutex lifecycle_;  // open and close
  std::atomic<LONG> opens_{0};
  std::atomic<bool> stopping_{false};
  std::atomic<bool> tracing_{false};  // every process (watch.h)
  trapfeed::FeedReader feed_;
  platform::Handle reader_;
  platform::Handle stop_;      // manual reset: the reader ends
  platform::Handle released_;  // auto reset: a release made room
  // CatchUp asks the reader to read every ring to its end; the reader answers once done.
  std::atomic<LONG> catchUpsWanted_{0}, catchUpsDone_{0};
  platform::Handle caughtUp_;  // auto reset: the reader answered

  Lock lock_;  // everything below
  bool wantRelease_ = false;
  std::vector<Subscription> subscriptions_;
  std::unordered_map<DWORD, ThreadQueue> queues_;  // by thread id
  DWORD nextHandle_ = 0;
  RecordStore store_;
  std::vector<Subscription> matching_;  // the reader's, for one message
  uint32_t key_ = 0;
  DWORD delivered_ = 0, malformed_ = 0, abandoned_ = 0;
};

// The one driver of the process (exports.cpp).
Driver& TheDriver();

}  // namespace trapdriver
