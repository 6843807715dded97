#pragma once
// The feed's shared memory: a ring of frames that any process may append to and the
// driver alone consumes. A frame is a 4-byte payload length, the payload, and padding to
// a multiple of 4, so a length word never straddles the end of the ring. Writers append
// one at a time under a spin lock in the header (a few hundred bytes of copying, so no
// kernel object is needed on the fast path) and publish the frame by moving the head.
#include <windows.h>

#include <cstdint>
#include <string>

namespace trapfeed {

constexpr uint32_t kRingBytes = 4u << 20;  // a power of two, so positions may wrap at 2^32
constexpr uint32_t kMaxPayloadBytes = 1u << 20;
constexpr uint32_t kRingMagic = 0x56544644;

struct RingHeader {
  volatile LONG magic;
  volatile LONG listening;       // the reader's process id while it reads, else 0
  volatile LONG readerSleeping;  // the reader waits on the data event
  volatile LONG writersWaiting;  // writers wait on the space event for room
  volatile LONG writeLock;       // the thread id of the appending writer, 0 when free
  volatile LONG head;            // bytes appended, moved once a frame is complete
  volatile LONG tail;            // bytes consumed, moved by the reader
  LONG unused[9];
};

constexpr uint32_t kMappingBytes = sizeof(RingHeader) + kRingBytes;

inline uint32_t FrameBytes(uint32_t payload) { return 4 + ((payload + 3) & ~3u); }

// "Vortan4 Trap Feed <reader process id>"; its events add " Data" and " Space".
std::string FeedName(DWORD readerProcessId);
inline std::string DataEventName(const std::string& feed) { return feed + " Data"; }
inline std::string SpaceEventName(const std::string& feed) { return feed + " Space"; }

// Copies between a ring position (any value, taken modulo the size) and flat bytes.
void CopyIntoRing(uint8_t* ring, uint32_t position, const void* bytes, uint32_t size);
void CopyFromRing(const uint8_t* ring, uint32_t position, void* bytes, uint32_t size);

// The writers' lock. A writer that died holding it is detected after a while and the
// lock taken over: its frame was never published, so nothing half-written is read.
void LockRing(RingHeader& header);
void UnlockRing(RingHeader& header);

}  // namespace trapfeed
