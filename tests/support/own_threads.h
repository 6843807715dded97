#pragma once
// How many threads this process has: the tests count them before and after a session to
// see that none is left behind.
#include <windows.h>

#include <tlhelp32.h>

#include "platform/owners.h"

namespace testing_support {

inline int ThreadsOfThisProcess() {
  platform::FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Thread32First(snapshot.get(), &entry); more;
       more = Thread32Next(snapshot.get(), &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  return count;
}

}  // namespace testing_support
