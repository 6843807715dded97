#pragma once
// The feed's shared memory. The driver's reader makes a directory, named after its process;
// each writing process makes a ring of its own, unnamed, and asks for it to be read by
// putting its process id and the ring's handle in a free slot of the directory. The reader
// takes a copy of the handle and reads the ring from then on. Only that writer and the
// reader map a ring, and the reader checks each one on its own, so a writer that scribbles,
// stops half-way or dies costs no other writer a record.
//
// A ring holds frames: a 4-byte payload length, the payload, and padding to a multiple of
// 4, so a length word never straddles the end of the ring. The writer's threads append one
// at a time and publish each frame by moving the head; the reader alone moves the tail.
#include <windows.h>

#include <cstdint>
#include <string>

namespace trapfeed {

constexpr uint32_t kRingBytes = 2u << 20;  // a power of two, so positions may wrap at 2^32
constexpr uint32_t kMaxPayloadBytes = 1u << 20;
constexpr uint32_t kRingMagic = 0x56544652;
constexpr uint32_t kDirectoryMagic = 0x56544644;
constexpr uint32_t kSlotCount = 64;
// The reader field of a ring whose reader has stopped listening to it.
constexpr LONG kReaderGone = -1;

struct Slot {
  volatile LONG processId;  // the writer that claimed it, 0 when free
  volatile LONG ring;       // the ring's mapping handle in that writer's process, 0 until set
};

struct DirectoryHeader {
  volatile LONG magic;
  volatile LONG listening;       // the reader's process id while it reads, else 0
  volatile LONG readerSleeping;  // the reader waits on the data event
  LONG unused[5];
  Slot slots[kSlotCount];
};

struct RingHeader {
  volatile LONG magic;
  volatile LONG writer;         // the writing process's id
  volatile LONG reader;         // the reader's process id once it reads, kReaderGone after
  volatile LONG head;           // bytes published, moved by the writer
  volatile LONG tail;           // bytes consumed, moved by the reader
  volatile LONG writerWaiting;  // the writer waits for room
  LONG unused[2];
};

constexpr uint32_t kRingMappingBytes = sizeof(RingHeader) + kRingBytes;

inline uint32_t FrameBytes(uint32_t payload) { return 4 + ((payload + 3) & ~3u); }

// "Vortan4 Trap Feed <reader process id>"; its data event adds " Data".
std::string FeedName(DWORD readerProcessId);
inline std::string DataEventName(const std::string& feed) { return feed + " Data"; }
// For writers whose environment names no feed, two mappings hold a reader's process id:
// one the driver makes for each process it traces, and one, well known, of the reader that
// started listening last.
inline std::string TracedProcessFeedName(DWORD processId) {
  return "Vortan4 Trap Feed For " + std::to_string(processId);
}
constexpr char kListeningReaderName[] = "Vortan4 Trap Feed Listening";

// Copies between a ring position (any value, taken modulo the size) and flat bytes.
void CopyIntoRing(uint8_t* ring, uint32_t position, const void* bytes, uint32_t size);
void CopyFromRing(const uint8_t* ring, uint32_t position, void* bytes, uint32_t size);

}  // namespace trapfeed
