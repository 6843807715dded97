#include "trapdriver/feed/ring.h"

#include <cstring>

namespace trapfeed {

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

}  // namespace trapfeed
