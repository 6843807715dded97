#include "trapdriver/feed/reader.h"

namespace trapfeed {

bool FeedReader::Open(const std::string& name) {
  mapping_.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                    kMappingBytes, name.c_str()));
  if (!mapping_) return false;
  view_.reset(MapViewOfFile(mapping_.get(), FILE_MAP_WRITE, 0, 0, kMappingBytes));
  dataEvent_.reset(CreateEventA(nullptr, FALSE, FALSE, DataEventName(name).c_str()));
  spaceEvent_.reset(CreateEventA(nullptr, FALSE, FALSE, SpaceEventName(name).c_str()));
  if (!view_ || !dataEvent_ || !spaceEvent_) {
    DWORD error = GetLastError();
    Close();
    SetLastError(error);
    return false;
  }
  header_ = static_cast<RingHeader*>(view_.get());
  ring_ = static_cast<const uint8_t*>(view_.get()) + sizeof(RingHeader);
  // Writers of an earlier session may still hold the mapping; start after their frames.
  // No lock: a frame being appended meanwhile lands at this very head, and a writer that
  // holds the lock for ever must not hold the driver too.
  header_->magic = kRingMagic;
  tail_ = static_cast<uint32_t>(InterlockedCompareExchange(&header_->head, 0, 0));
  InterlockedExchange(&header_->tail, static_cast<LONG>(tail_));
  InterlockedExchange(&header_->listening, static_cast<LONG>(GetCurrentProcessId()));
  return true;
}

void FeedReader::StopListening() {
  if (!header_) return;
  InterlockedExchange(&header_->listening, 0);
  SetEvent(spaceEvent_.get());
}

void FeedReader::Close() {
  StopListening();
  header_ = nullptr;
  ring_ = nullptr;
  view_.reset();
  dataEvent_.reset();
  spaceEvent_.reset();
  mapping_.reset();
}

void FeedReader::Consumed(uint32_t bytes) {
  tail_ += bytes;
  InterlockedExchange(&header_->tail, static_cast<LONG>(tail_));
  if (header_->writersWaiting > 0) SetEvent(spaceEvent_.get());
}

FeedReader::Take FeedReader::Next(std::string& payload) {
  const uint32_t head = static_cast<uint32_t>(InterlockedCompareExchange(&header_->head, 0, 0));
  const uint32_t published = head - tail_;
  if (published == 0) return Take::Empty;
  uint32_t length = 0;
  if (published <= kRingBytes && published >= 4 && (published & 3) == 0) {
    CopyFromRing(ring_, tail_, &length, 4);
    if (length <= kMaxPayloadBytes && FrameBytes(length) <= published) {
      payload.resize(length);
      CopyFromRing(ring_, tail_ + 4, &payload[0], length);
      Consumed(FrameBytes(length));
      return Take::Frame;
    }
  }
  Consumed(published);
  return Take::Garbage;
}

void FeedReader::WaitForFrames(HANDLE stop) {
  InterlockedExchange(&header_->readerSleeping, 1);
  if (static_cast<uint32_t>(InterlockedCompareExchange(&header_->head, 0, 0)) == tail_) {
    HANDLE events[] = {stop, dataEvent_.get()};
    WaitForMultipleObjects(2, events, FALSE, INFINITE);
  }
  InterlockedExchange(&header_->readerSleeping, 0);
}

}  // namespace trapfeed
