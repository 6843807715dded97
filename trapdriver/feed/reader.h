#pragma once
// The driver's end of the feed: it makes the directory and its data event, says that it
// listens, takes in the rings that writers register and reads their frames in turn.
// Whatever a ring holds was written by another process, so the reader keeps its own
// consumed position for each and checks every frame against what that ring has published.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/owners.h"
#include "trapdriver/feed/ring.h"

namespace trapfeed {

class FeedReader {
 public:
  // Makes (or finds again) the feed of that name, forgets whatever an earlier reader left
  // in it and starts listening. False with the system's error on failure.
  bool Open(const std::string& name);
  // Writers answer false from now on.
  void StopListening();
  // Lets every ring go: its writer finds it no longer read.
  void Close();

  enum class Take { Frame, Empty, Garbage };
  // Frame: the next payload of some ring, copied out. Garbage: a ring's bookkeeping or a
  // frame's length made no sense; what that ring published so far is skipped. Empty: every
  // ring read to its end, and every registration taken in.
  Take Next(std::string& payload);
  // Waits until a writer may have published something, or the stop event is set.
  void WaitForFrames(HANDLE stop);
  // Ends a wait at once.
  void Wake() { SetEvent(dataEvent_.get()); }
  // Takes in the rings registered so far and marks where each ends now; ReadToMarks says
  // when everything up to the marks has been taken out.
  void MarkEnds();
  bool ReadToMarks() const;

  // Writers waiting for room, summed over the rings (any thread).
  uint32_t WritersWaiting();
  size_t Rings();

 private:
  struct Ring {
    DWORD processId = 0;
    LONG writerHandle = 0;  // the mapping's handle in the writer's process
    platform::Handle process, mapping;
    platform::MappedView view;
    RingHeader* header = nullptr;
    const uint8_t* bytes = nullptr;
    uint32_t tail = 0;
    uint32_t mark = 0;  // where it ended at the last MarkEnds
  };
  void TakeRegistrations();
  void Attach(DWORD processId, LONG writerHandle);
  Take FromRing(Ring& ring, std::string& payload);
  void Consumed(Ring& ring, uint32_t bytes);
  bool AnythingWaiting() const;
  void DropEnded();

  platform::Handle mapping_, dataEvent_, listeningMapping_;
  platform::MappedView view_, listeningView_;
  DirectoryHeader* directory_ = nullptr;
  std::mutex ringsLock_;  // changes to rings_, and readers on other threads
  std::vector<std::unique_ptr<Ring>> rings_;
  size_t next_ = 0;
  bool busy_ = false;       // a frame since the last wait
  DWORD lastBusy_ = 0, lastSweep_ = 0;
};

// Names this process's feed to a process that it traces, for as long as the handle is kept,
// whatever environment that process was given.
platform::Handle NameFeedTo(DWORD processId);

}  // namespace trapfeed
