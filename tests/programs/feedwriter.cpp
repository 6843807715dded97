// Writes to the trap driver's feed from a process of its own, as a traced program does.
//   feedwriter COUNT     sends COUNT file deletes named C:\FROM-CHILD\<i>, with its own
//                        process id; exit code 0 when every send was taken, 1 otherwise.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "trapdriver/feed/feed.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const int count = __argc > 1 ? std::atoi(__argv[1]) : 1;
  trapfeed::Message message;
  message.kind = trapfeed::Kind::File;
  message.operation = 31;
  message.processId = GetCurrentProcessId();
  for (int i = 0; i < count; ++i) {
    message.path = "C:\\FROM-CHILD\\" + std::to_string(i);
    if (!trapfeed::Send(message)) return 1;
  }
  return 0;
}
