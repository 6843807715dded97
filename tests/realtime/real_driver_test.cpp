// A whole session with the trap driver stand-in beside the tests: operations fed in, the
// records decoded, every record given back, and nothing left open or running.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include "platform/owners.h"
#include "platform/system.h"
#include "realtime/device.h"
#include "realtime/processes.h"
#include "realtime/records.h"
#include "realtime/vorttrap.h"
#include "support/gui_driver.h"
#include "trapdriver/driver/exports.h"
#include "trapdriver/feed/feed.h"
#include "support/own_threads.h"

namespace {

using testing_support::ThreadsOfThisProcess;

VortTrapCounts Counts() {
  VortTrapCounts counts{};
  HMODULE driver = GetModuleHandleA("VORTTRAP.VXD");
  using Stats = BOOL(WINAPI*)(VortTrapCounts*);
  auto stats = driver ? reinterpret_cast<Stats>(reinterpret_cast<void*>(
                            GetProcAddress(driver, "VortTrapStats")))
                      : nullptr;
  if (stats) stats(&counts);
  return counts;
}

trapfeed::Message FileMessage(uint32_t operation, const std::string& path, bool created) {
  trapfeed::Message message;
  message.operation = operation;
  message.subCode = 1;
  message.created = created;
  message.processId = GetCurrentProcessId();
  message.path = path;
  return message;
}

void Session(int operations, realtime::TrackingResults& found) {
  realtime::RealTimeTracking tracking;
  ASSERT_EQ(tracking.Started(), realtime::srStarted);
  const DWORD before = Counts().delivered;
  for (int i = 0; i < operations; ++i)
    ASSERT_TRUE(trapfeed::Send(FileMessage(36, "C:\\RT\\F" + std::to_string(i), true)));
  trapfeed::Message value;
  value.kind = trapfeed::Kind::Registry;
  value.operation = 2;
  value.processId = GetCurrentProcessId();
  value.keyPath = "HKEY_LOCAL_MACHINE\\Software\\Rt";
  value.valueName = "Count";
  value.valueType = REG_DWORD;
  value.hasNewData = true;
  value.newData = std::string("\xFF\xFF\xFF\xFF", 4);
  ASSERT_TRUE(trapfeed::Send(value));
  ASSERT_TRUE(gui::WaitFor([&] { return Counts().delivered - before == DWORD(operations) + 1; }));
  found = tracking.Stop();
}

TEST(RealDriver, WholeSessionLeavesNothingBehind) {
  // tools/wine-test puts the stand-in beside every test program.
  ASSERT_TRUE(platform::FileExists(realtime::DriverPath().substr(4)))
      << "no trap driver beside the tests";
  std::string failure;
  EXPECT_NE(realtime::GetProcessKey(failure), 0u);
  EXPECT_EQ(realtime::GetTrapDriverVersion(), kTrapDriverVersion);
  realtime::TrackingResults found;
  Session(3, found);  // what lives for the whole run is made here
  const int threadsBefore = ThreadsOfThisProcess();
  DWORD handlesBefore = 0, handlesAfter = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);

  Session(50, found);
  // The stand-in keeps its code in memory once loaded; what counts is that it was closed
  // as often as opened and got every record back.
  const VortTrapCounts counts = Counts();
  EXPECT_EQ(counts.openHandles, 0u);
  EXPECT_EQ(counts.subscriptions, 0u);
  EXPECT_EQ(counts.outstandingRecords, 0u);
  EXPECT_EQ(counts.outstandingBuffers, 0u);
  EXPECT_EQ(counts.abandoned, 0u);
  GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
  EXPECT_EQ(handlesAfter, handlesBefore);
  EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore);

  EXPECT_EQ(found.lists[realtime::rlFilesAdded].size(), 50u);
  const engines::ResultList& values = found.lists[realtime::rlValuesAdded];
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].text, "HKEY_LOCAL_MACHINE\\Software\\Rt");
  EXPECT_EQ(std::get<engines::RegObject>(values[0].item).newData, "4294967295");
  // Named through the driver's process key.
  const engines::ResultList& processes = found.processes;
  ASSERT_EQ(processes.size(), 1u);
  std::string own = platform::ModulePath();
  EXPECT_NE(processes[0].text.find(own.substr(own.find_last_of('\\') + 1)), std::string::npos)
      << processes[0].text;
}

// Whatever the feed still holds when tracking stops is in the lists.
TEST(RealDriver, StopTakesInWhatTheFeedStillHolds) {
  if (!platform::FileExists(realtime::DriverPath().substr(4)))
    GTEST_SKIP() << "no trap driver beside the tests";
  constexpr int kOperations = 20000;
  realtime::RealTimeTracking tracking;
  ASSERT_EQ(tracking.Started(), realtime::srStarted);
  for (int i = 0; i < kOperations; ++i)
    ASSERT_TRUE(trapfeed::Send(FileMessage(36, "C:\\QUEUED\\F" + std::to_string(i), true)));
  const realtime::TrackingResults found = tracking.Stop();
  EXPECT_EQ(found.lists[realtime::rlFilesAdded].size(), size_t{kOperations});
}

}  // namespace
