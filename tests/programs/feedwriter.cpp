// Writes to the trap driver's feed from a process of its own, as a traced program does.
//   feedwriter COUNT [FAULT]  sends COUNT file deletes named C:\FROM-CHILD\<i>, with its own
//       process id; exit code 0 when every send was taken, 1 otherwise. FAULT makes it a
//       writer that goes wrong, and sends until it is killed: "garbage" puts a frame of
//       nonsense before each message, "scribble" clears its channel's header now and then,
//       "endless" sends large values.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "trapdriver/feed/feed.h"
#include "trapdriver/feed/writer.h"

namespace {

void Garbage(int i) {
  const uint32_t frame[2] = {i % 2 ? 1000u : 0xFFFFFFF0u, 0x64636261};
  trapfeed::AppendFrame(frame, sizeof frame);
}

void Endless() {
  trapfeed::Message value;
  value.kind = trapfeed::Kind::Registry;
  value.operation = trapabi::roValueAdded;
  value.processId = GetCurrentProcessId();
  value.keyPath = "HKEY_LOCAL_MACHINE\\Software\\Endless";
  value.hasNewData = true;
  value.newData.assign(300000, 'e');
  for (;;) trapfeed::Send(value);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const int count = __argc > 1 ? std::atoi(__argv[1]) : 1;
  const std::string fault = __argc > 2 ? __argv[2] : "";
  if (fault == "endless") Endless();
  trapfeed::Message message;
  message.kind = trapfeed::Kind::File;
  message.operation = trapabi::foDelete;
  message.processId = GetCurrentProcessId();
  for (int i = 0; i < count || !fault.empty(); ++i) {
    if (fault == "garbage") Garbage(i);
    trapfeed::RingHeader* ring = trapfeed::ThisProcessRing();
    if (fault == "scribble" && i % 100 == 99 && ring) std::memset(ring, 0, sizeof *ring);
    message.path = "C:\\FROM-CHILD\\" + std::to_string(i);
    if (!trapfeed::Send(message) && fault.empty()) return 1;
  }
  return 0;
}
