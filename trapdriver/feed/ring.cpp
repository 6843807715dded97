#include "trapdriver/feed/ring.h"

#include <cstring>

#include "platform/owners.h"

namespace trapfeed {
namespace {

bool ThreadGone(DWORD threadId) {
  platform::Handle thread(OpenThread(SYNCHRONIZE, FALSE, threadId));
  return !thread || WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0;
}

}  // namespace

std::string FeedName(DWORD readerProcessId) {
  return "Vortan4 Trap Feed " + std::to_string(readerProcessId);
}

void CopyIntoRing(uint8_t* ring, uint32_t position, const void* bytes, uint32_t size) {
  uint32_t offset = position & (kRingBytes - 1);
  uint32_t first = size < kRingBytes - offset ? size : kRingBytes - offset;
  std::memcpy(ring + offset, bytes, first);
  std::memcpy(ring, static_cast<const uint8_t*>(bytes) + first, size - first);
}

void CopyFromRing(const uint8_t* ring, uint32_t position, void* bytes, uint32_t size) {
  uint32_t offset = position & (kRingBytes - 1);
  uint32_t first = size < kRingBytes - offset ? size : kRingBytes - offset;
  std::memcpy(bytes, ring + offset, first);
  std::memcpy(static_cast<uint8_t*>(bytes) + first, ring, size - first);
}

void LockRing(RingHeader& header) {
  const LONG me = static_cast<LONG>(GetCurrentThreadId());
  for (unsigned attempt = 0;; ++attempt) {
    LONG owner = InterlockedCompareExchange(&header.writeLock, me, 0);
    if (owner == 0) return;
    if (attempt < 100) {
      YieldProcessor();
    } else if (attempt < 1000) {
      Sleep(0);
    } else {
      Sleep(1);
      if (attempt % 200 == 0 && ThreadGone(static_cast<DWORD>(owner)) &&
          InterlockedCompareExchange(&header.writeLock, me, owner) == owner)
        return;
    }
  }
}

void UnlockRing(RingHeader& header) { InterlockedExchange(&header.writeLock, 0); }

}  // namespace trapfeed
