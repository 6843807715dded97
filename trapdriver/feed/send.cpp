// The writer side of the feed, linked into every program that reports operations.
#include <windows.h>

#include <cstring>

#include "platform/owners.h"
#include "trapdriver/feed/feed.h"
#include "trapdriver/feed/message.h"
#include "trapdriver/feed/writer.h"

namespace trapfeed {
namespace {

// How long a registered ring waits for the reader to take it before asking again.
constexpr DWORD kAttachMilliseconds = 1000;
// What is left of value data too large for the feed.
constexpr size_t kShortenedDataBytes = 4096;

bool ProcessGone(DWORD processId) {
  platform::Handle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
  return !process || WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
}

std::string NamedFeed() {
  char name[128];
  DWORD length = GetEnvironmentVariableA(kFeedVariable, name, sizeof name);
  return length == 0 || length >= sizeof name ? std::string() : std::string(name, length);
}

// The feed of the reader whose process id the mapping of that name holds.
std::string FeedOfReaderIn(const std::string& mappingName) {
  platform::Handle mapping(OpenFileMappingA(FILE_MAP_READ, FALSE, mappingName.c_str()));
  if (!mapping) return {};
  platform::MappedView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, sizeof(LONG)));
  const LONG reader = view ? *static_cast<const volatile LONG*>(view.get()) : 0;
  return reader ? FeedName(static_cast<DWORD>(reader)) : std::string();
}

// This process's ring and the feed it is registered with. Its threads take turns.
class Writer {
 public:
  Writer() { InitializeCriticalSection(&lock_); }

  bool Append(const void* frame, uint32_t size) {
    EnterCriticalSection(&lock_);
    bool appended = Ready() && Put(frame, size);
    LeaveCriticalSection(&lock_);
    return appended;
  }
  RingHeader* Ring() const { return header_; }

 private:
  bool Attached() const {
    if (!directory_ || !header_) return false;
    const LONG reader = directory_->listening;
    return reader != 0 && header_->reader == reader;
  }

  bool Ready() {
    const std::string named = NamedFeed();
    if (!named.empty() && named != feed_) CloseFeed();
    if (Attached()) return true;
    // A process started with an environment of its own, or from outside: the driver that
    // traces it, else the one listening last.
    std::string name = named;
    if (name.empty()) name = FeedOfReaderIn(TracedProcessFeedName(GetCurrentProcessId()));
    if (name.empty()) name = FeedOfReaderIn(kListeningReaderName);
    if (name.empty() || (name != feed_ && !OpenFeed(name))) return false;
    return (header_ || MakeRing()) && Register();
  }

  bool OpenFeed(const std::string& name) {
    CloseFeed();
    directoryMapping_.reset(
        OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, name.c_str()));
    if (!directoryMapping_) return false;
    // Read only: nothing this process does by mistake reaches the directory, except while
    // it registers.
    directoryView_.reset(
        MapViewOfFile(directoryMapping_.get(), FILE_MAP_READ, 0, 0, sizeof(DirectoryHeader)));
    directory_ = static_cast<const DirectoryHeader*>(directoryView_.get());
    dataEvent_.reset(OpenEventA(EVENT_MODIFY_STATE, FALSE, DataEventName(name).c_str()));
    if (!directory_ || !dataEvent_ || directory_->magic != static_cast<LONG>(kDirectoryMagic)) {
      CloseFeed();
      return false;
    }
    feed_ = name;
    return true;
  }

  void CloseFeed() {
    directory_ = nullptr;
    directoryView_.reset();
    directoryMapping_.reset();
    dataEvent_.reset();
    feed_.clear();
  }

  // The ring lives as long as the process; its handle is what the reader copies.
  bool MakeRing() {
    ringMapping_.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                          kRingMappingBytes, nullptr));
    if (ringMapping_) ringView_.reset(MapViewOfFile(ringMapping_.get(), FILE_MAP_WRITE, 0, 0, 0));
    if (!ringView_) return false;
    header_ = static_cast<RingHeader*>(ringView_.get());
    ring_ = static_cast<uint8_t*>(ringView_.get()) + sizeof(RingHeader);
    header_->writer = static_cast<LONG>(GetCurrentProcessId());
    InterlockedExchange(&header_->magic, static_cast<LONG>(kRingMagic));
    return true;
  }

  // Puts the ring in a free slot of the directory and waits for the reader to take it.
  bool Claim() {
    platform::MappedView view(
        MapViewOfFile(directoryMapping_.get(), FILE_MAP_WRITE, 0, 0, sizeof(DirectoryHeader)));
    if (!view) return false;
    auto* directory = static_cast<DirectoryHeader*>(view.get());
    bool claimed = false;
    const LONG me = static_cast<LONG>(GetCurrentProcessId());
    for (Slot& slot : directory->slots) {
      if (InterlockedCompareExchange(&slot.processId, me, 0) == 0) {
        InterlockedExchange(&slot.ring,
                            static_cast<LONG>(reinterpret_cast<uintptr_t>(ringMapping_.get())));
        claimed = true;
        break;
      }
    }
    if (claimed) SetEvent(dataEvent_.get());
    return claimed;
  }

  bool Register() {
    for (;;) {
      const LONG reader = directory_->listening;
      if (reader == 0 || ProcessGone(static_cast<DWORD>(reader))) return false;
      if (Claim()) {
        for (DWORD start = GetTickCount(); GetTickCount() - start < kAttachMilliseconds; Sleep(1)) {
          if (Attached()) return true;
          if (directory_->listening != reader) return false;
        }
      } else {
        Sleep(10);  // every slot taken at this moment: the reader empties them
      }
    }
  }

  bool Put(const void* frame, uint32_t size) {
    for (unsigned wait = 1;; ++wait) {
      const uint32_t head = static_cast<uint32_t>(header_->head);
      const uint32_t used = head - static_cast<uint32_t>(header_->tail);
      if (used > kRingBytes) return false;  // the ring was damaged from this process
      if (kRingBytes - used >= size) {
        CopyIntoRing(ring_, head, frame, size);
        InterlockedExchange(&header_->head, static_cast<LONG>(head + size));
        header_->writerWaiting = 0;
        // A reader that is busy looks again by itself: no call per frame.
        if (directory_->readerSleeping) SetEvent(dataEvent_.get());
        return true;
      }
      // Full: the reader makes room. Now and then make sure it still listens.
      header_->writerWaiting = 1;
      if (directory_->readerSleeping) SetEvent(dataEvent_.get());
      Sleep(1);
      if (!Attached() || (wait % 1000 == 0 && ProcessGone(static_cast<DWORD>(header_->reader)))) {
        header_->writerWaiting = 0;
        return false;
      }
    }
  }

  CRITICAL_SECTION lock_;
  std::string feed_;
  platform::Handle directoryMapping_, dataEvent_, ringMapping_;
  platform::MappedView directoryView_, ringView_;
  const DirectoryHeader* directory_ = nullptr;
  RingHeader* header_ = nullptr;
  uint8_t* ring_ = nullptr;
};

Writer& ThisProcess() {
  static Writer* writer = new Writer;  // outlives every writer thread
  return *writer;
}

void Shorten(std::string& data, uint32_t& wholeSize) {
  if (data.size() <= kShortenedDataBytes) return;
  wholeSize = static_cast<uint32_t>(data.size());
  data.resize(kShortenedDataBytes);
}

}  // namespace

bool AppendFrame(const void* frame, uint32_t size) {
  return size >= 4 && (size & 3) == 0 && size <= FrameBytes(kMaxPayloadBytes) &&
         ThisProcess().Append(frame, size);
}

RingHeader* ThisProcessRing() { return ThisProcess().Ring(); }

bool Send(const Message& message) {
  std::string bytes = Encode(message);
  if (bytes.size() > kMaxPayloadBytes) {
    Message shortened = message;
    Shorten(shortened.newData, shortened.newWholeSize);
    Shorten(shortened.oldData, shortened.oldWholeSize);
    bytes = Encode(shortened);
    if (bytes.size() > kMaxPayloadBytes) return false;
  }
  const uint32_t length = static_cast<uint32_t>(bytes.size());
  std::string frame(FrameBytes(length), '\0');
  std::memcpy(&frame[0], &length, 4);
  std::memcpy(&frame[4], bytes.data(), length);
  return AppendFrame(frame.data(), static_cast<uint32_t>(frame.size()));
}

}  // namespace trapfeed
