#include "trapdriver/feed/reader.h"

namespace trapfeed {
namespace {

// After a frame the reader looks again every kLookMilliseconds for kPollMilliseconds before
// it sleeps on the data event, so writers in a burst need not wake it frame by frame. Each
// look is a call into the system, and each batch it finds a queued call to a subscriber:
// under Wine both are round trips to the server that the traced programs wait on too, so
// the reader looks seldom and takes many frames at once (a ring holds 2 MB).
constexpr DWORD kLookMilliseconds = 10, kPollMilliseconds = 50;
// How often rings whose writer has ended are looked for.
constexpr DWORD kSweepMilliseconds = 200;

bool Ended(HANDLE process) { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }

}  // namespace

bool FeedReader::Open(const std::string& name) {
  mapping_.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                    sizeof(DirectoryHeader), name.c_str()));
  if (!mapping_) return false;
  view_.reset(MapViewOfFile(mapping_.get(), FILE_MAP_WRITE, 0, 0, sizeof(DirectoryHeader)));
  dataEvent_.reset(CreateEventA(nullptr, FALSE, FALSE, DataEventName(name).c_str()));
  listeningMapping_.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                             sizeof(LONG), kListeningReaderName));
  if (listeningMapping_)
    listeningView_.reset(
        MapViewOfFile(listeningMapping_.get(), FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
  if (!view_ || !dataEvent_ || !listeningView_) {
    DWORD error = GetLastError();
    Close();
    SetLastError(error);
    return false;
  }
  directory_ = static_cast<DirectoryHeader*>(view_.get());
  // Registrations left from an earlier session were for a reader that has gone.
  for (Slot& slot : directory_->slots) {
    InterlockedExchange(&slot.ring, 0);
    InterlockedExchange(&slot.processId, 0);
  }
  InterlockedExchange(&directory_->magic, static_cast<LONG>(kDirectoryMagic));
  const LONG me = static_cast<LONG>(GetCurrentProcessId());
  InterlockedExchange(&directory_->listening, me);
  InterlockedExchange(static_cast<volatile LONG*>(listeningView_.get()), me);
  return true;
}

void FeedReader::StopListening() {
  if (!directory_) return;
  InterlockedExchange(&directory_->listening, 0);
  // A later reader of another process may have said that it listens meanwhile.
  InterlockedCompareExchange(static_cast<volatile LONG*>(listeningView_.get()), 0,
                             static_cast<LONG>(GetCurrentProcessId()));
}

void FeedReader::Close() {
  StopListening();
  std::lock_guard<std::mutex> hold(ringsLock_);
  for (auto& ring : rings_) InterlockedExchange(&ring->header->reader, kReaderGone);
  rings_.clear();
  directory_ = nullptr;
  view_.reset();
  mapping_.reset();
  dataEvent_.reset();
  listeningView_.reset();
  listeningMapping_.reset();
}

void FeedReader::TakeRegistrations() {
  for (Slot& slot : directory_->slots) {
    if (slot.ring == 0) continue;
    const LONG handle = InterlockedExchange(&slot.ring, 0);
    const LONG processId = InterlockedExchange(&slot.processId, 0);
    if (processId != 0) Attach(static_cast<DWORD>(processId), handle);
  }
}

void FeedReader::Attach(DWORD processId, LONG writerHandle) {
  const LONG me = static_cast<LONG>(GetCurrentProcessId());
  for (auto& ring : rings_) {
    // The same ring asking again (its writer waited too long, or a reader came back).
    if (ring->processId == processId && ring->writerHandle == writerHandle &&
        !Ended(ring->process.get())) {
      InterlockedExchange(&ring->header->reader, me);
      return;
    }
  }
  auto ring = std::make_unique<Ring>();
  ring->processId = processId;
  ring->writerHandle = writerHandle;
  ring->process.reset(OpenProcess(PROCESS_DUP_HANDLE | SYNCHRONIZE, FALSE, processId));
  const auto handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(writerHandle));
  HANDLE mapping = nullptr;
  if (!ring->process || !DuplicateHandle(ring->process.get(), handle, GetCurrentProcess(), &mapping,
                                         0, FALSE, DUPLICATE_SAME_ACCESS))
    return;
  ring->mapping.reset(mapping);
  // A mapping smaller than a ring does not map at this size.
  ring->view.reset(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, kRingMappingBytes));
  if (!ring->view) return;
  ring->header = static_cast<RingHeader*>(ring->view.get());
  ring->bytes = static_cast<const uint8_t*>(ring->view.get()) + sizeof(RingHeader);
  if (ring->header->magic != static_cast<LONG>(kRingMagic) ||
      ring->header->writer != static_cast<LONG>(processId))
    return;
  // Frames left from an earlier session were for a reader that has gone.
  ring->tail = static_cast<uint32_t>(InterlockedCompareExchange(&ring->header->head, 0, 0));
  InterlockedExchange(&ring->header->tail, static_cast<LONG>(ring->tail));
  InterlockedExchange(&ring->header->reader, me);
  std::lock_guard<std::mutex> hold(ringsLock_);
  rings_.push_back(std::move(ring));
}

void FeedReader::Consumed(Ring& ring, uint32_t bytes) {
  ring.tail += bytes;
  InterlockedExchange(&ring.header->tail, static_cast<LONG>(ring.tail));
}

FeedReader::Take FeedReader::FromRing(Ring& ring, std::string& payload) {
  RingHeader& header = *ring.header;
  const uint32_t head = static_cast<uint32_t>(InterlockedCompareExchange(&header.head, 0, 0));
  const uint32_t published = head - ring.tail;
  if (published == 0) return Take::Empty;
  uint32_t length = 0;
  if (header.magic == static_cast<LONG>(kRingMagic) && published <= kRingBytes &&
      published >= 4 && (published & 3) == 0) {
    CopyFromRing(ring.bytes, ring.tail, &length, 4);
    if (length <= kMaxPayloadBytes && FrameBytes(length) <= published) {
      payload.resize(length);
      CopyFromRing(ring.bytes, ring.tail + 4, &payload[0], length);
      Consumed(ring, FrameBytes(length));
      return Take::Frame;
    }
  }
  Consumed(ring, published);
  return Take::Garbage;
}

FeedReader::Take FeedReader::Next(std::string& payload) {
  TakeRegistrations();
  const size_t count = rings_.size();
  for (size_t i = 0; i < count; ++i) {
    const size_t at = (next_ + i) % count;
    const Take taken = FromRing(*rings_[at], payload);
    if (taken != Take::Empty) {
      next_ = at + 1;  // the rings take turns
      busy_ = true;
      return taken;
    }
  }
  DropEnded();
  return Take::Empty;
}

void FeedReader::MarkEnds() {
  TakeRegistrations();
  for (auto& ring : rings_) ring->mark = static_cast<uint32_t>(ring->header->head);
}

bool FeedReader::ReadToMarks() const {
  for (const auto& ring : rings_)
    if (static_cast<int32_t>(ring->mark - ring->tail) > 0) return false;
  return true;
}

bool FeedReader::AnythingWaiting() const {
  for (const Slot& slot : directory_->slots)
    if (slot.ring != 0) return true;
  for (const auto& ring : rings_)
    if (static_cast<uint32_t>(ring->header->head) != ring->tail) return true;
  return false;
}

void FeedReader::DropEnded() {
  const DWORD now = GetTickCount();
  if (now - lastSweep_ < kSweepMilliseconds) return;
  lastSweep_ = now;
  // A ring whose writer has ended and that holds nothing more is done with; what it
  // published before it ended is read first.
  std::lock_guard<std::mutex> hold(ringsLock_);
  for (size_t i = rings_.size(); i-- > 0;) {
    const Ring& ring = *rings_[i];
    if (Ended(ring.process.get()) && static_cast<uint32_t>(ring.header->head) == ring.tail)
      rings_.erase(rings_.begin() + i);
  }
}

void FeedReader::WaitForFrames(HANDLE stop) {
  if (busy_) {
    busy_ = false;
    lastBusy_ = GetTickCount();
  }
  if (GetTickCount() - lastBusy_ < kPollMilliseconds) {
    HANDLE events[] = {stop, dataEvent_.get()};  // a catch-up wakes it at once
    WaitForMultipleObjects(2, events, FALSE, kLookMilliseconds);
    return;
  }
  InterlockedExchange(&directory_->readerSleeping, 1);
  if (!AnythingWaiting()) {
    HANDLE events[] = {stop, dataEvent_.get()};
    WaitForMultipleObjects(2, events, FALSE, INFINITE);
  }
  InterlockedExchange(&directory_->readerSleeping, 0);
}

uint32_t FeedReader::WritersWaiting() {
  std::lock_guard<std::mutex> hold(ringsLock_);
  uint32_t waiting = 0;
  for (const auto& ring : rings_) waiting += ring->header->writerWaiting != 0;
  return waiting;
}

platform::Handle NameFeedTo(DWORD processId) {
  const std::string name = TracedProcessFeedName(processId);
  platform::Handle mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                              sizeof(LONG), name.c_str()));
  platform::MappedView view(
      mapping ? MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, sizeof(LONG)) : nullptr);
  if (view)
    InterlockedExchange(static_cast<volatile LONG*>(view.get()),
                        static_cast<LONG>(GetCurrentProcessId()));
  return mapping;
}

size_t FeedReader::Rings() {
  std::lock_guard<std::mutex> hold(ringsLock_);
  return rings_.size();
}

}  // namespace trapfeed
