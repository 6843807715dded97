// The writer side of the feed, linked into every program that reports operations.
#include <windows.h>

#include <vector>

#include "trapdriver/feed/feed.h"
#include "trapdriver/feed/message.h"
#include "trapdriver/feed/ring.h"

namespace trapfeed {
namespace {

// One feed as this process sees it. Kept open for the life of the process: a feed whose
// reader has gone says so in its header, and a reader that comes back finds it again.
struct Connection {
  std::string name;
  HANDLE mapping = nullptr;
  RingHeader* header = nullptr;
  uint8_t* ring = nullptr;
  HANDLE dataEvent = nullptr;
  HANDLE spaceEvent = nullptr;
};

class ConnectionTable {
 public:
  ConnectionTable() { InitializeCriticalSection(&lock_); }

  Connection* Find(const std::string& name) {
    EnterCriticalSection(&lock_);
    Connection* found = nullptr;
    for (Connection* connection : connections_)
      if (connection->name == name) found = connection;
    if (!found) {
      found = Open(name);
      if (found) connections_.push_back(found);
    }
    LeaveCriticalSection(&lock_);
    return found;
  }

 private:
  static Connection* Open(const std::string& name) {
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name.c_str());
    if (!mapping) return nullptr;
    void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, kMappingBytes);
    HANDLE data = OpenEventA(EVENT_MODIFY_STATE, FALSE, DataEventName(name).c_str());
    HANDLE space = OpenEventA(SYNCHRONIZE, FALSE, SpaceEventName(name).c_str());
    if (!view || !data || !space) {
      if (view) UnmapViewOfFile(view);
      if (data) CloseHandle(data);
      if (space) CloseHandle(space);
      CloseHandle(mapping);
      return nullptr;
    }
    auto* connection = new Connection;
    connection->name = name;
    connection->mapping = mapping;
    connection->header = static_cast<RingHeader*>(view);
    connection->ring = static_cast<uint8_t*>(view) + sizeof(RingHeader);
    connection->dataEvent = data;
    connection->spaceEvent = space;
    return connection;
  }

  CRITICAL_SECTION lock_;
  std::vector<Connection*> connections_;
};

Connection* CurrentFeed() {
  static ConnectionTable* table = new ConnectionTable;  // outlives every writer thread
  char name[128];
  DWORD length = GetEnvironmentVariableA(kFeedVariable, name, sizeof name);
  if (length == 0 || length >= sizeof name) return nullptr;
  return table->Find(name);
}

bool ReaderGone(DWORD readerId) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, readerId);
  if (!process) return true;
  bool gone = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  CloseHandle(process);
  return gone;
}

// Appends one frame made of the word (when given) and the bytes, padded to a multiple of 4.
bool Append(const uint32_t* word, const void* bytes, uint32_t size) {
  Connection* feed = CurrentFeed();
  if (!feed) return false;
  RingHeader& header = *feed->header;
  const uint32_t start = word ? 4 : 0;
  const uint32_t frame = (start + size + 3) & ~3u;
  for (unsigned wait = 1;; ++wait) {
    if (header.listening == 0 || header.magic != static_cast<LONG>(kRingMagic)) return false;
    LockRing(header);
    const uint32_t head = static_cast<uint32_t>(header.head);
    const uint32_t used = head - static_cast<uint32_t>(header.tail);
    if (header.listening != 0 && used <= kRingBytes && kRingBytes - used >= frame) {
      if (word) CopyIntoRing(feed->ring, head, word, 4);
      CopyIntoRing(feed->ring, head + start, bytes, size);
      InterlockedExchange(&header.head, static_cast<LONG>(head + frame));
      UnlockRing(header);
      if (header.readerSleeping) SetEvent(feed->dataEvent);
      return true;
    }
    UnlockRing(header);
    // Full: wait for the reader to make room. The time-out catches a reader that stopped
    // listening, and now and then one that died without saying so.
    InterlockedIncrement(&header.writersWaiting);
    WaitForSingleObject(feed->spaceEvent, 20);
    InterlockedDecrement(&header.writersWaiting);
    DWORD reader = static_cast<DWORD>(header.listening);
    if (wait % 50 == 0 && reader != 0 && ReaderGone(reader)) return false;
  }
}

}  // namespace

bool Send(const Message& message) {
  std::string bytes = Encode(message);
  if (bytes.size() > kMaxPayloadBytes) return false;
  const uint32_t size = static_cast<uint32_t>(bytes.size());
  return Append(&size, bytes.data(), size);
}

bool SendRaw(const void* bytes, uint32_t size) {
  return size >= 4 && size <= kMaxPayloadBytes && Append(nullptr, bytes, size);
}

}  // namespace trapfeed
