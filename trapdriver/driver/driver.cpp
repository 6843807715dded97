#include "trapdriver/driver/driver.h"

#include <algorithm>
#include <cstring>

#include "trapdriver/feed/message.h"
#include "trapdriver/driver/trace.h"
#include "trapdriver/driver/watch.h"
#include "platform/trapabi.h"

namespace trapdriver {
namespace {

using namespace trapabi;
using trapfeed::Message;

constexpr size_t kMaxSubscriptions = 64;

template <class T>
T Read(const uint8_t* bytes, size_t offset) {
  T value;
  std::memcpy(&value, bytes + offset, sizeof value);
  return value;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

bool Matches(const Subscription& subscription, const Message& message) {
  if (subscription.kind != static_cast<uint32_t>(message.kind) ||
      subscription.operation != message.operation)
    return false;
  if (subscription.mask != 0)
    return (message.subCode & subscription.mask) == (subscription.subCode & subscription.mask);
  return subscription.subCode == 255 || message.subCode == subscription.subCode;
}

uint32_t ProcessKey() {
  uint32_t seed = GetCurrentProcessId() * 0x9E3779B1u;
  FILETIME created, exited, kernel, user;
  if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
    seed ^= created.dwLowDateTime ^ (created.dwHighDateTime << 7);
  seed ^= seed >> 15;
  seed *= 0x85EBCA6Bu;
  seed ^= seed >> 13;
  // The top bit makes every driver id of a real process non-zero.
  return seed | 0x80000000u;
}

Driver::Driver()
    : stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      released_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      caughtUp_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

BOOL Driver::Open() {
  std::lock_guard<std::mutex> hold(lifecycle_);
  if (opens_ > 0) {
    ++opens_;
    return TRUE;
  }
  // The code stays in memory once used: a call queued to a subscriber may run after the
  // last close, and after the program has let the library go.
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCSTR>(&TheDriver), &self);
  if (!stop_ || !released_ || !caughtUp_) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  const std::string name = trapfeed::FeedName(GetCurrentProcessId());
  if (!feed_.Open(name)) return FALSE;
  {
    Hold state(lock_);
    subscriptions_.clear();  // any made while the last load was closing
    stopping_ = false;
    wantRelease_ = false;
    key_ = ProcessKey();
    delivered_ = malformed_ = abandoned_ = 0;
  }
  ResetEvent(stop_.get());
  reader_.reset(CreateThread(nullptr, 0, ReadFeed, this, 0, nullptr));
  if (!reader_) {
    DWORD error = GetLastError();
    feed_.Close();
    return Fail(error);
  }
  SetEnvironmentVariableA(trapfeed::kFeedVariable, name.c_str());
  opens_ = 1;
  return TRUE;
}

BOOL Driver::Close() {
  std::lock_guard<std::mutex> hold(lifecycle_);
  if (opens_ == 0) return Fail(ERROR_INVALID_HANDLE);
  if (--opens_ > 0) return TRUE;

  feed_.StopListening();
  if (tracing_.exchange(false)) StopTracedProcesses();
  stopping_ = true;
  SetEvent(stop_.get());
  WaitForSingleObject(reader_.get(), INFINITE);
  reader_.reset();

  std::vector<DWORD> subscriberThreads;
  {
    Hold state(lock_);
    for (const auto& queue : queues_) subscriberThreads.push_back(queue.first);
    subscriptions_.clear();
  }
  // Records already on their way are delivered meanwhile, as queued calls would be.
  Drain(subscriberThreads);
  DropUndelivered();
  {
    Hold state(lock_);
    // A record still out may yet be read by its subscriber: leave it be.
    abandoned_ = static_cast<DWORD>(store_.Records());
    if (abandoned_ > 0)
      store_.Abandon();
    else
      store_.FreeAll();
    wantRelease_ = false;
  }
  feed_.Close();
  return TRUE;
}

BOOL Driver::Subscribe(const uint8_t* block, DWORD& handle) {
  Subscription subscription;
  subscription.block = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block));
  subscription.kind = Read<uint32_t>(block, subscription::kKind);
  subscription.operation = Read<uint32_t>(block, subscription::kOperation);
  subscription.subCode = block[subscription::kSubCode];
  subscription.mask = block[subscription::kSubCodeMask];
  subscription.routine = reinterpret_cast<PAPCFUNC>(
      static_cast<uintptr_t>(Read<uint32_t>(block, subscription::kRoutine)));
  if (!subscription.routine) return Fail(ERROR_INVALID_PARAMETER);
  subscription.threadId = GetCurrentThreadId();

  Hold state(lock_);
  if (subscriptions_.size() >= kMaxSubscriptions) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  ThreadQueue& queue = queues_[subscription.threadId];
  if (!queue.thread) {
    HANDLE thread = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread,
                         THREAD_SET_CONTEXT | SYNCHRONIZE, FALSE, 0)) {
      queues_.erase(subscription.threadId);
      return FALSE;
    }
    queue.thread.reset(thread);
  }
  do ++nextHandle_;
  while (nextHandle_ == 0);
  subscription.handle = handle = nextHandle_;
  subscriptions_.push_back(std::move(subscription));
  return TRUE;
}

BOOL Driver::Unsubscribe(const uint8_t* request) {
  const DWORD handle = Read<uint32_t>(request, unsubscribe::kHandle);
  const uint32_t block = Read<uint32_t>(request, unsubscribe::kBlock);
  if (Read<uint16_t>(request, unsubscribe::kBlockSize) != kSubscriptionSize)
    return Fail(ERROR_INVALID_PARAMETER);
  // What was trapped before the block is withdrawn still reaches it.
  CatchUp();
  Hold state(lock_);
  auto found = std::find_if(subscriptions_.begin(), subscriptions_.end(), [&](const Subscription& s) {
    return s.handle == handle && s.block == block;
  });
  if (found == subscriptions_.end()) return Fail(ERROR_INVALID_PARAMETER);
  subscriptions_.erase(found);
  return TRUE;
}

BOOL Driver::Release(DWORD code, uint32_t value) {
  Hold state(lock_);
  bool known = code == tcReleaseRecord ? store_.ReleaseRecord(value) : store_.ReleaseBuffer(value);
  if (known && wantRelease_) {
    wantRelease_ = false;
    SetEvent(released_.get());
  }
  return known ? TRUE : Fail(ERROR_INVALID_PARAMETER);
}

BOOL Driver::Control(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* returned) {
  if (returned) *returned = 0;
  if (code == trapabi::tcGetProcessNote) return ProcessNote(in, inSize, out, outSize, returned);
  if (code == trapabi::tcGetProcessName) return ProcessName(in, inSize, out, outSize, returned);
  if (code < tcGetVersion || code > tcGetProcessKey) return Fail(ERROR_NOT_SUPPORTED);
  const ControlBuffers& sizes = kControlBuffers[code];
  if (inSize != sizes.in || outSize != sizes.out || (inSize && !in) || (outSize && !out))
    return Fail(ERROR_INVALID_PARAMETER);
  const uint8_t* input = static_cast<const uint8_t*>(in);
  // Records may come back while the last close waits for them.
  if (code == tcReleaseRecord || code == tcReleaseBuffer)
    return Release(code, Read<uint32_t>(input, 0));
  if (opens_ == 0) return Fail(ERROR_INVALID_HANDLE);

  switch (code) {
    case tcGetVersion: {
      const WORD version = kTrapDriverVersion;
      std::memcpy(out, &version, 2);
      break;
    }
    case tcSubscribe: {
      DWORD handle = 0;
      if (!Subscribe(input, handle)) return FALSE;
      // Every process is traced from the first subscription to the last close.
      if (!tracing_.exchange(true)) StartTracing(key_, CapturePath());
      std::memcpy(out, &handle, 4);
      break;
    }
    case tcUnsubscribe:
      if (!Unsubscribe(input)) return FALSE;
      break;
    case tcGetProcessKey: {
      Hold state(lock_);
      std::memcpy(out, &key_, 4);
      break;
    }
  }
  if (returned) *returned = outSize;
  return TRUE;
}

BOOL Driver::ProcessNote(void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) {
  namespace note = trapabi::process_note;
  if (inSize != 4 || outSize != note::kSize || !in || !out) return Fail(ERROR_INVALID_PARAMETER);
  if (opens_ == 0) return Fail(ERROR_INVALID_HANDLE);
  uint32_t index = Read<uint32_t>(static_cast<const uint8_t*>(in), 0);
  if (!ProcessNoteAt(index, static_cast<unsigned char*>(out))) return Fail(ERROR_NO_MORE_ITEMS);
  if (returned) *returned = outSize;
  return TRUE;
}

BOOL Driver::ProcessName(void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) {
  namespace note = trapabi::process_note;
  if (inSize != 4 || outSize != note::kNameSize || !in || !out) return Fail(ERROR_INVALID_PARAMETER);
  if (opens_ == 0) return Fail(ERROR_INVALID_HANDLE);
  const std::string name = ProcessNameOf(Read<uint32_t>(static_cast<const uint8_t*>(in), 0));
  if (name.empty()) return Fail(ERROR_NOT_FOUND);
  std::memset(out, 0, outSize);
  std::memcpy(out, name.c_str(), std::min<size_t>(name.size(), outSize - 1));
  if (returned) *returned = outSize;
  return TRUE;
}

VortTrapCounts Driver::Counts() {
  VortTrapCounts counts{};
  counts.openHandles = static_cast<DWORD>(opens_.load());
  counts.writersWaiting = feed_.WritersWaiting();
  Hold state(lock_);
  counts.subscriptions = static_cast<DWORD>(subscriptions_.size());
  counts.outstandingRecords = static_cast<DWORD>(store_.Records());
  counts.outstandingBuffers = static_cast<DWORD>(store_.Buffers());
  counts.delivered = delivered_;
  counts.malformed = malformed_;
  counts.abandoned = abandoned_;
  return counts;
}

}  // namespace trapdriver
