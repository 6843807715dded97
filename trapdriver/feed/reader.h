#pragma once
// The driver's end of the feed: it creates the ring and its events, says that it listens,
// and takes the frames out one at a time. Whatever the ring holds was written by other
// processes, so the reader keeps its own consumed position and checks every frame against
// what has been published before copying it out.
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/owners.h"
#include "trapdriver/feed/ring.h"

namespace trapfeed {

class FeedReader {
 public:
  // Creates (or finds again) the feed of that name, drops whatever an earlier reader left
  // in it and starts listening. False with the system's error on failure.
  bool Open(const std::string& name);
  // Writers answer false from now on; waiting ones are woken to see it.
  void StopListening();
  void Close();

  enum class Take { Frame, Empty, Garbage };
  // Frame: the next payload, copied out of the ring. Garbage: the ring's bookkeeping or a
  // frame's length made no sense; everything published so far is skipped.
  Take Next(std::string& payload);
  // Waits until a writer publishes something or the stop event is set.
  void WaitForFrames(HANDLE stop);

  uint32_t WritersWaiting() const {
    return header_ ? static_cast<uint32_t>(header_->writersWaiting) : 0;
  }

 private:
  void Consumed(uint32_t bytes);

  platform::Handle mapping_, dataEvent_, spaceEvent_;
  platform::MappedView view_;
  RingHeader* header_ = nullptr;
  const uint8_t* ring_ = nullptr;
  uint32_t tail_ = 0;
};

}  // namespace trapfeed
