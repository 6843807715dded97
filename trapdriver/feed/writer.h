#pragma once
// The writing end of the feed in this process: one ring for all its threads, made at the
// first frame and registered with the reader that listens (the one the environment names,
// else the one listening last). Send (feed.h) appends each message here; tests append
// frames of their own making and reach the ring to damage it.
#include <cstdint>

#include "trapdriver/feed/ring.h"

namespace trapfeed {

// Appends one frame as given: its length word first, its size a multiple of 4 and at most
// FrameBytes(kMaxPayloadBytes). Waits while the ring is full; false at once when no reader
// listens (none loaded, or tracking has stopped), so a writer never hangs.
bool AppendFrame(const void* frame, uint32_t size);

// This process's ring once a frame has been appended, else null.
RingHeader* ThisProcessRing();

}  // namespace trapfeed
