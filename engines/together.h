#pragma once
// Two walks at once: the registry goes through the system's registry calls and the disk
// walk through the file system, so on two processors each runs beside the other at
// nearly its own speed.
#include <exception>
#include <functional>

#include "engines/lists.h"

namespace engines {

// A walk that reports what it works on through the callback it is handed.
using Walk = std::function<void(const ProgressCallback& progress)>;

// Runs first on this thread (it delivers the window's messages as it goes, as every walk
// does) and second on a thread of its own, and returns once both have ended. first
// reports to progress; second's reports are kept, and once first has ended firstEnded()
// is called (the window shows the step that may still run) and this thread shows
// second's latest report while it waits, delivering the messages. The abort flag
// (AbortRequested) stops both. An exception from first is passed on; second's is
// answered, for the caller to pass on where the second step would have begun on its own.
[[nodiscard]] std::exception_ptr RunTogether(const Walk& first, const Walk& second,
                                             const ProgressCallback& progress,
                                             const std::function<void()>& firstEnded);

}  // namespace engines
