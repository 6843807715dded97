// trapfeed::Send of the capture library the tests load: one line per message, appended.
#include <windows.h>

#include "tests/trapdriver/capture/standin_feed.h"

namespace trapfeed {

bool Send(const Message& message) {
  char path[MAX_PATH];
  DWORD length = GetEnvironmentVariableA(capture_standin::kStandinVariable, path, sizeof path);
  if (length == 0 || length >= sizeof path) return false;
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE |
                            FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string line = capture_standin::Line(message);
  DWORD written = 0;
  BOOL wrote = WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
  return wrote != FALSE;
}

}  // namespace trapfeed
