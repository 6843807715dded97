// Real-time tracking under load: file operations sent through the trap driver's feed, the
// driver (VORTTRAP.VXD beside this program), its asynchronous calls and the record
// decoder, once with 100,000 operations over 20,000 paths and once with twice as many of
// both. The lists keep no duplicates, so a decoder that searched them linearly would
// take four times as long for twice the work; the ratio shows it.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>
#include <string>

#include "realtime/records.h"
#include "realtime/vorttrap.h"
#include "trapdriver/feed/feed.h"

namespace {

struct Counts {  // VortTrapStats's answer, of which only the delivered count matters here
  DWORD openHandles, subscriptions, outstandingRecords, outstandingBuffers, delivered, malformed,
      abandoned, writersWaiting;
};
using StatsFunction = BOOL(WINAPI*)(Counts*);

DWORD Delivered() {
  HMODULE driver = GetModuleHandleA("VORTTRAP.VXD");
  auto stats = driver ? reinterpret_cast<StatsFunction>(
                            reinterpret_cast<void*>(GetProcAddress(driver, "VortTrapStats")))
                      : nullptr;
  Counts counts{};
  return stats && stats(&counts) ? counts.delivered : 0;
}

// Each path goes through five rounds: created, written, renamed away, its new name
// deleted, created again.
trapfeed::Message Operation(int i, int paths) {
  const int path = i % paths, round = i / paths % 5;
  trapfeed::Message message;
  message.kind = trapfeed::Kind::File;
  message.processId = GetCurrentProcessId();
  message.path = "C:\\BENCH\\DIR" + std::to_string(path / 100) + "\\FILE" + std::to_string(path) +
                 ".DAT";
  switch (round) {
    case 0: case 4: message.operation = 36; message.subCode = 1; message.created = true; break;
    case 1: message.operation = 36; message.subCode = 2; break;
    case 2: message.operation = 37; message.newPath = message.path + ".OLD"; break;
    case 3: message.operation = 31; message.path += ".OLD"; break;
  }
  return message;
}

// Seconds from the first operation sent to the last record decoded; 0 on failure.
double Run(int operations, int paths) {
  realtime::RealTimeTracking tracking;
  if (tracking.Started() != realtime::srStarted) return 0;
  const DWORD deliveredBefore = Delivered();
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  for (int i = 0; i < operations; ++i)
    if (!trapfeed::Send(Operation(i, paths))) {
      std::printf("the feed refused operation %d\n", i);
      return 0;
    }
  while (Delivered() - deliveredBefore < static_cast<DWORD>(operations)) Sleep(1);
  const realtime::TrackingResults found = tracking.Stop();  // decodes what is still queued
  QueryPerformanceCounter(&end);
  size_t entries = 0;
  for (const engines::ResultList& list : found.lists) entries += list.size();
  std::printf("%d operations over %d paths: %.2f s, %u list entries\n", operations, paths,
              double(end.QuadPart - start.QuadPart) / frequency.QuadPart,
              static_cast<unsigned>(entries));
  return double(end.QuadPart - start.QuadPart) / frequency.QuadPart;
}

// The decoder alone on the same operations, as records made here: what the chain adds.
double DecodeOnly(int operations, int paths) {
  realtime::ChangeRecorder recorder;
  std::vector<std::vector<unsigned char>> records;
  records.reserve(operations);
  for (int i = 0; i < operations; ++i) {
    const trapfeed::Message message = Operation(i, paths);
    std::vector<unsigned char> record(583, 0);
    uint32_t kind = 64, pid = message.processId;
    std::memcpy(&record[0], &kind, 4);
    std::memcpy(&record[4], &message.operation, 4);
    std::memcpy(&record[23], message.path.data(), message.path.size());
    std::memcpy(&record[283], message.newPath.data(), message.newPath.size());
    std::memcpy(&record[552], &pid, 4);
    record[566] = message.created;
    records.push_back(std::move(record));
  }
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  for (const auto& record : records) recorder.Decode(record.data());
  QueryPerformanceCounter(&end);
  return double(end.QuadPart - start.QuadPart) / frequency.QuadPart;
}

}  // namespace

int main() {
  const double decodeSingle = DecodeOnly(100000, 20000), decodeTwice = DecodeOnly(200000, 40000);
  std::printf("decoder alone: %.2f s and %.2f s, ratio %.2f\n", decodeSingle, decodeTwice,
              decodeTwice / decodeSingle);
  Run(5000, 1000);  // warm-up: the driver, the feed and the process names
  const double single = Run(100000, 20000);
  const double twice = Run(200000, 40000);
  if (single <= 0 || twice <= 0) {
    std::printf("the trap driver could not be used\n");
    return 1;
  }
  std::printf("ratio double/single: %.2f\n", twice / single);
  std::printf("records per second: %.0f\n", 200000 / twice);
  return 0;
}
