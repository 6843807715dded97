// The driver interface against the tests' own driver: what it sends, in which order and
// from which thread, what it gives back, and what it leaves behind.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "platform/system.h"
#include "platform/trapabi.h"
#include "realtime/device.h"
#include "realtime/processes.h"
#include "realtime/records.h"
#include "realtime/vorttrap.h"
#include "support/fake_trap_driver.h"
#include "support/temp_folder.h"
#include "support/own_threads.h"

using namespace testing_support;

namespace {

using testing_support::ThreadsOfThisProcess;

template <class T>
T At(const std::vector<unsigned char>& bytes, size_t offset) {
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

TEST(TrapSession, SubscribesFromItsThreadAndWithdrawsEverything) {
  FakeTrapDriver driver;
  realtime::RealTimeTracking tracking("", driver.Source());
  ASSERT_EQ(tracking.Started(), realtime::srStarted);
  ASSERT_EQ(driver.subscriptions.size(), 11u);  // in force once the start has returned
  struct Expected {
    uint32_t kind, operation;
    uint8_t subCode, mask;
    uint16_t flags;
  };
  const Expected expected[11] = {{64, 32, 0, 0, 0},      {64, 32, 1, 0, 0},   {64, 31, 255, 0, 0},
                                 {64, 36, 1, 7, 0x8000}, {64, 37, 255, 0, 0}, {64, 36, 2, 7, 0x8000},
                                 {1, 0, 255, 0, 0},      {1, 1, 255, 0, 0},   {1, 4, 255, 0, 0},
                                 {1, 3, 255, 0, 0},      {1, 2, 255, 0, 0}};
  for (int i = 0; i < 11; ++i) {
    SCOPED_TRACE(i);
    const auto& block = driver.subscriptions[i];
    ASSERT_EQ(block.size(), 60u);
    EXPECT_EQ(At<uint32_t>(block, 0), expected[i].kind);
    EXPECT_EQ(At<uint32_t>(block, 4), expected[i].operation);
    EXPECT_EQ(block[8], expected[i].subCode);
    EXPECT_EQ(block[9], expected[i].mask);
    EXPECT_EQ(std::vector<unsigned char>(block.begin() + 10, block.begin() + 18),
              std::vector<unsigned char>(8, 255));
    EXPECT_EQ(std::vector<unsigned char>(block.begin() + 18, block.begin() + 54),
              std::vector<unsigned char>(36, 0));
    EXPECT_NE(At<uint32_t>(block, 54), 0u);
    EXPECT_EQ(At<uint16_t>(block, 58), expected[i].flags);
    EXPECT_NE(driver.subscriberThreads[i], GetCurrentThreadId());
  }
  tracking.Stop();
  tracking.Stop();  // a second stop does nothing
  ASSERT_EQ(driver.withdrawals.size(), 11u);
  for (int i = 0; i < 11; ++i) {
    const auto& input = driver.withdrawals[i];
    ASSERT_EQ(input.size(), 12u);
    EXPECT_EQ(At<uint32_t>(input, 0), 101u + i);  // the handle of block i
    EXPECT_EQ(At<uint16_t>(input, 8), 60u);
    EXPECT_EQ(At<uint16_t>(input, 10), 0u);
    EXPECT_EQ(At<uint16_t>(driver.blocksAtWithdrawal[i], 58), 17u);
  }
  EXPECT_EQ(driver.opens, 1);
  EXPECT_EQ(driver.closes, 1);
  EXPECT_FALSE(tracking.Active());
}

TEST(TrapSession, GivesBackEveryRecordAndItsBuffers) {
  FakeTrapDriver driver;
  realtime::RealTimeTracking tracking("", driver.Source());
  ASSERT_EQ(tracking.Started(), realtime::srStarted);
  RegOp noBuffers;
  noBuffers.operation = trapabi::roKeyCreated;
  RegOp twoBuffers = noBuffers;
  twoBuffers.buffers[0] = 5;
  twoBuffers.buffers[2] = 9;
  ASSERT_TRUE(driver.Deliver(RegistryRecord(noBuffers)));
  ASSERT_TRUE(driver.Deliver(FileRecord({36, "C:\\X", "", 1, 0, true})));
  ASSERT_TRUE(driver.Deliver(RegistryRecord(twoBuffers)));
  // Unknown kinds are given back too.
  testing_support::Record unknown(600, 0);
  unknown[0] = 2;
  ASSERT_TRUE(driver.Deliver(unknown));
  ASSERT_TRUE(driver.WaitReleased(4));
  EXPECT_EQ(driver.releasedBuffers, (std::vector<uint32_t>{5, 9}));

  // Queries go through the session's driver and leave the session working.
  std::string failure;
  EXPECT_EQ(realtime::GetTrapDriverVersion(driver.Source()), 0x0104);
  EXPECT_EQ(realtime::GetProcessKey(failure, driver.Source()), driver.key);
  ASSERT_TRUE(driver.Deliver(FileRecord({31, "C:\\Y", "", 1})));
  ASSERT_TRUE(driver.WaitReleased(5));
  const realtime::TrackingResults found = tracking.Stop();
  EXPECT_EQ(driver.withdrawals.size(), 11u);
  EXPECT_EQ(driver.opens, 1);
  EXPECT_EQ(driver.closes, 1);
  EXPECT_EQ(found.lists[realtime::rlKeysAdded].size(), 2u);
  EXPECT_EQ(found.lists[realtime::rlFilesDeleted].size(), 1u);
}

TEST(TrapSession, QueuedRecordsAreDecodedBeforeTheDriverCloses) {
  FakeTrapDriver driver;
  realtime::RealTimeTracking tracking("", driver.Source());
  ASSERT_EQ(tracking.Started(), realtime::srStarted);
  for (int i = 0; i < 200; ++i)
    ASSERT_TRUE(driver.Deliver(FileRecord({31, "C:\\F" + std::to_string(i), "", 1})));
  const realtime::TrackingResults found = tracking.Stop();
  EXPECT_EQ(driver.releasedRecords.size(), 200u);
  EXPECT_EQ(found.lists[realtime::rlFilesDeleted].size(), 200u);
}

TEST(TrapSession, LeavesNoThreadHandleOrDriverBehind) {
  FakeTrapDriver driver;
  realtime::RealTimeTracking("", driver.Source());  // the first makes what lives for the whole run
  const int threadsBefore = ThreadsOfThisProcess();
  DWORD handlesBefore = 0, handlesAfter = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);
  for (int round = 0; round < 3; ++round) {
    realtime::RealTimeTracking tracking("", driver.Source());
    ASSERT_EQ(tracking.Started(), realtime::srStarted);
    ASSERT_TRUE(driver.Deliver(FileRecord({31, "C:\\Z", "", 1})));
    tracking.Stop();
  }
  GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
  EXPECT_EQ(handlesAfter, handlesBefore);
  EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore);
  EXPECT_EQ(driver.opens, driver.closes);
}

// Runs on two threads at once: one is in force at a time, the other starts nothing, and
// nothing is left running with the driver closed as often as opened.
TEST(TrapSession, StartAndStopOnTwoThreadsLeaveNothingOn) {
  FakeTrapDriver driver;
  const int threadsBefore = ThreadsOfThisProcess();
  auto rounds = [&driver] {
    for (int i = 0; i < 30; ++i) {
      realtime::RealTimeTracking tracking("", driver.Source());
      tracking.Stop();
    }
  };
  std::thread other(rounds);
  rounds();
  other.join();
  EXPECT_EQ(driver.opens, driver.closes);
  EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore);
}

TEST(TrapSession, VersionQueryFailingStartsNothing) {
  FakeTrapDriver driver;
  driver.failVersion = true;
  realtime::RealTimeTracking tracking("", driver.Source());
  EXPECT_EQ(tracking.Started(), realtime::srNoVersion);
  EXPECT_FALSE(tracking.Active());
  EXPECT_NE(tracking.Failure(), "");
  EXPECT_EQ(tracking.Stop().failure, tracking.Failure());
  EXPECT_TRUE(driver.subscriptions.empty());
  EXPECT_EQ(driver.opens, driver.closes);
  EXPECT_EQ(realtime::GetTrapDriverVersion(driver.Source()), -1);
}

TEST(TrapSession, TracesProcessesOnlyWhileActive) {
  FakeTrapDriver driver;
  realtime::TraceNewProcess(GetCurrentProcess(), GetCurrentThread(), 41);
  realtime::RealTimeTracking tracking("", driver.Source());
  ASSERT_EQ(tracking.Started(), realtime::srStarted);
  realtime::TraceNewProcess(GetCurrentProcess(), GetCurrentThread(), 42);
  tracking.Stop();
  realtime::TraceNewProcess(GetCurrentProcess(), GetCurrentThread(), 43);
  EXPECT_EQ(driver.traced, (std::vector<DWORD>{42}));
}

TEST(ProcessNames, RegisteredOnceByDriverIdWithTheKey) {
  FakeTrapDriver driver;
  const uint32_t self = GetCurrentProcessId() ^ driver.key;
  realtime::ChangeRecorder recorder([&driver](uint32_t id) {
    return realtime::LookUpProcessName(id, driver.key);
  });
  recorder.RegisterProcess(self);
  recorder.RegisterProcess(self);
  recorder.RegisterProcess(0x12345678);  // no such process
  engines::ResultList processes = recorder.Take().processes;
  ASSERT_EQ(processes.size(), 2u);
  std::string own = platform::ModulePath();
  own = own.substr(own.find_last_of('\\') + 1);
  EXPECT_NE(processes[0].text.find(own), std::string::npos) << processes[0].text;
  EXPECT_EQ(std::get<engines::ProcessId>(processes[0].item), self);
  EXPECT_EQ(processes[1].text, "*error*");
}

TEST(DriverPath, ShortFormWithOneBackslash) {
  EXPECT_EQ(realtime::DriverPathFor("C:\\"), "\\\\.\\C:\\VORTTRAP.VXD");
  const std::string path = realtime::DriverPathFor("C:\\Program Files\\Common Files");
  EXPECT_EQ(path.find(' '), std::string::npos) << path;
  EXPECT_EQ(path.rfind("\\\\.\\C:\\", 0), 0u) << path;
  EXPECT_EQ(path.substr(path.size() - 13), "\\VORTTRAP.VXD");
}

// With no driver file beside the program: the start and the key query say why, for the
// window to show; the version query fails, and the key derivation fails without harm.
TEST(MissingDriver, SaysSoAndStartsNothing) {
  TempFolder empty;
  realtime::DriverSource source;
  source.folder = empty.Path().substr(0, empty.Path().size() - 1);
  const std::string expected = "Failed to open " + realtime::DriverPath(source) + ": File not found.";
  realtime::RealTimeTracking tracking("", source);
  EXPECT_EQ(tracking.Started(), realtime::srNoDriver);
  EXPECT_EQ(tracking.Failure(), expected);
  std::string failure;
  EXPECT_EQ(realtime::GetProcessKey(failure, source), 0u);
  EXPECT_EQ(failure, expected);
  EXPECT_EQ(tracking.Stop().failure, expected);
  EXPECT_FALSE(tracking.Active());
  EXPECT_EQ(realtime::GetTrapDriverVersion(source), -1);
  uint32_t derived = 0;
  EXPECT_FALSE(realtime::DeriveProcessKey(derived));
}

}  // namespace
