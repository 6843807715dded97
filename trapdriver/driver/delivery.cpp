// From the feed to the subscribers: the reader thread turns each message into one record
// per matching subscription and queues it to the subscribing thread, where the routines
// run in the thread's alertable wait.
#include <algorithm>

#include "trapdriver/driver/driver.h"
#include "trapdriver/feed/message.h"

namespace trapdriver {
namespace {

// A subscriber that stops giving records back holds the reader, and the full feed then
// holds the writers: nothing is dropped, and memory stays bounded.
constexpr size_t kMaxOutstandingRecords = 4096;
constexpr size_t kMaxOutstandingBytes = 32u << 20;
// Records run by one queued call; then the subscriber's wait returns, as between calls.
constexpr int kBatch = 1000;
// How long the last close waits for records on their way to come back.
constexpr DWORD kDrainMilliseconds = 500;
// How long a withdrawal waits for the reader to read what is in the feed: long enough for
// full rings, short enough when a subscriber holds its records and so the reader.
constexpr DWORD kCatchUpMilliseconds = 5000;

}  // namespace

DWORD WINAPI Driver::ReadFeed(void* self) {
  Driver& driver = *static_cast<Driver*>(self);
  std::string payload;
  trapfeed::Message message;
  LONG marked = 0;  // the last catch-up asked for, whose ends are marked
  while (!driver.stopping_) {
    driver.AnswerCatchUp(marked);
    trapfeed::FeedReader::Take taken = driver.feed_.Next(payload);
    if (taken == trapfeed::FeedReader::Take::Empty) {
      driver.AnswerCatchUp(marked);
      driver.feed_.WaitForFrames(driver.stop_.get());
    } else if (taken == trapfeed::FeedReader::Take::Garbage ||
               !trapfeed::Decode(payload.data(), payload.size(), message)) {
      Hold state(driver.lock_);
      ++driver.malformed_;
    } else {
      driver.Deliver(message);
    }
  }
  return 0;
}

// Writers that go on writing must not hold up a catch-up: it reads up to where each ring
// ended when it was asked for.
void Driver::AnswerCatchUp(LONG& marked) {
  if (catchUpsWanted_ != marked) {
    marked = catchUpsWanted_;
    feed_.MarkEnds();
  }
  if (catchUpsDone_ != marked && feed_.ReadToMarks()) {
    catchUpsDone_ = marked;
    SetEvent(caughtUp_.get());
  }
}

void Driver::Deliver(const trapfeed::Message& message) {
  // A registry record has no status field: a failed registry operation changed nothing.
  if (message.kind == trapfeed::Kind::Registry && message.status != 0) return;
  {
    Hold state(lock_);
    matching_.clear();
    for (const Subscription& subscription : subscriptions_)
      if (Matches(subscription, message)) matching_.push_back(subscription);
  }
  for (const Subscription& subscription : matching_) {
    if (!WaitForRoom()) return;
    HANDLE thread = nullptr;
    {
      Hold state(lock_);
      auto still = std::find_if(subscriptions_.begin(), subscriptions_.end(),
                                [&](const Subscription& s) { return s.handle == subscription.handle; });
      if (still == subscriptions_.end()) continue;  // withdrawn meanwhile
      ThreadQueue& queue = queues_[subscription.threadId];
      queue.records.push_back({store_.Make(message, message.processId ^ key_), subscription.routine});
      ++delivered_;
      if (!queue.callQueued) {
        queue.callQueued = true;
        thread = queue.thread.get();
      }
    }
    // The thread handles live until the last close, which stops this thread first.
    if (thread && !QueueUserAPC(RunRoutines, thread, 0)) {
      Hold state(lock_);
      ThreadQueue& queue = queues_[subscription.threadId];
      for (const Pending& pending : queue.records) store_.Discard(pending.record);
      queue.records.clear();
      queue.callQueued = false;
    }
  }
}

void CALLBACK Driver::RunRoutines(ULONG_PTR) {
  Driver& driver = TheDriver();
  const DWORD me = GetCurrentThreadId();
  for (int run = 0;; ++run) {
    Pending next;
    {
      Hold state(driver.lock_);
      auto queue = driver.queues_.find(me);
      if (queue == driver.queues_.end()) return;  // the driver was closed meanwhile
      if (queue->second.records.empty()) {
        queue->second.callQueued = false;
        return;
      }
      if (run == kBatch) {
        if (!QueueUserAPC(RunRoutines, queue->second.thread.get(), 0))
          queue->second.callQueued = false;
        return;
      }
      next = queue->second.records.front();
      queue->second.records.pop_front();
    }
    next.routine(reinterpret_cast<ULONG_PTR>(next.record));
  }
}

bool Driver::WaitForRoom() {
  for (;;) {
    {
      Hold state(lock_);
      if (stopping_) return false;
      if (store_.Records() == 0 || (store_.Records() < kMaxOutstandingRecords &&
                                    store_.Bytes() < kMaxOutstandingBytes))
        return true;
      wantRelease_ = true;
    }
    HANDLE events[] = {stop_.get(), released_.get()};
    WaitForMultipleObjects(2, events, FALSE, INFINITE);
  }
}

void Driver::Drain(const std::vector<DWORD>& subscriberThreads) {
  // On a subscriber's own thread its records can only be delivered in this wait.
  const bool alertable = std::find(subscriberThreads.begin(), subscriberThreads.end(),
                                   GetCurrentThreadId()) != subscriberThreads.end();
  const DWORD start = GetTickCount();
  for (;;) {
    {
      Hold state(lock_);
      if (store_.Records() == 0) return;
      wantRelease_ = true;
    }
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= kDrainMilliseconds) return;
    WaitForSingleObjectEx(released_.get(), kDrainMilliseconds - elapsed, alertable);
  }
}

void Driver::CatchUp() {
  if (stopping_ || !reader_) return;
  const LONG wanted = ++catchUpsWanted_;
  feed_.Wake();
  // On a subscriber's own thread the reader may wait for its records to come back.
  bool alertable = false;
  {
    Hold state(lock_);
    alertable = queues_.count(GetCurrentThreadId()) != 0;
  }
  const DWORD start = GetTickCount();
  while (catchUpsDone_ - wanted < 0) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= kCatchUpMilliseconds) return;
    WaitForSingleObjectEx(caughtUp_.get(), kCatchUpMilliseconds - elapsed, alertable);
  }
}

void Driver::DropUndelivered() {
  Hold state(lock_);
  for (auto& queue : queues_)
    for (const Pending& pending : queue.second.records) store_.Discard(pending.record);
  // A call still queued to a thread finds no queue and returns.
  queues_.clear();
}

}  // namespace trapdriver
