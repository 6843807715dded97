#pragma once
// The file-time walk: every file and folder below the watched roots created or written
// after a moment, in the order in which the searches return them.
#include <windows.h>

#include <cstdint>

#include "engines/helpers.h"
#include "engines/lists.h"

namespace engines {

// UTC, 100-nanosecond intervals since 1601 (the system's file-time form).
uint64_t FileTimeValue(const FILETIME& time);

// A time of zero means the file system keeps none; equal to the start is not later.
bool IsNewer(const FILETIME& creationTime, const FILETIME& lastWriteTime, uint64_t startTime);

// Appends to result (it is not cleared) the path of every newer file and folder, whatever
// its name (".config" and what is inside it too). Under Wine an entry's change time stands
// in for its creation time. AbortRequested is asked between roots only: a root that has
// begun is walked to its end.
void FindNewerFiles(ResultList& result, uint64_t startTime, const TrackedList& roots,
                    const ProgressCallback& progress);

}  // namespace engines
