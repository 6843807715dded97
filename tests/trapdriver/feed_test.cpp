#include <gtest/gtest.h>

#include <cstring>

#include "driver_fixture.h"
#include "trapdriver/feed/message.h"

using namespace trapdriver_testing;
using trapfeed::Message;

namespace {

class TrapFeed : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(TheDriver().open()); }
  void TearDown() override { EXPECT_TRUE(TheDriver().close()); }
};

std::string Frame(const std::string& payload) {
  const uint32_t length = static_cast<uint32_t>(payload.size());
  return std::string(reinterpret_cast<const char*>(&length), 4) + payload;
}

std::string Word(uint32_t value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

// A message whose first string length (the path's) says something else.
std::string WithPathLength(uint32_t length) {
  std::string bytes = trapfeed::Encode(FileMessage(31, 0, "C:\\X"));
  const size_t lengths = bytes.size() - 4 - 6 * 4;
  std::memcpy(&bytes[lengths], &length, 4);
  return bytes;
}

}  // namespace

TEST_F(TrapFeed, AFullFeedHoldsTheWriterAndLosesNothing) {
  Subscriber subscriber;
  subscriber.Hold();
  // Big values: the feed and the driver's allowance for records out fill after a few dozen.
  constexpr int kMessages = 60;
  std::atomic<int> sent{0};
  std::thread writer([&] {
    for (int i = 0; i < kMessages; ++i) {
      Message message = RegistryMessage(2, "HKEY_LOCAL_MACHINE\\Big", "v" + std::to_string(i));
      message.hasNewData = true;
      message.newData.assign(1000000, static_cast<char>('a' + i % 26));
      if (trapfeed::Send(message)) ++sent;
    }
  });
  EXPECT_TRUE(
      gui::WaitFor([] { return TheDriver().Counts().writersWaiting > 0; }, kDeliveryTimeout));
  EXPECT_LT(sent, kMessages);
  subscriber.Resume();
  writer.join();
  EXPECT_EQ(sent, kMessages);
  std::vector<Seen> seen = subscriber.WaitFor(kMessages);
  ASSERT_EQ(seen.size(), static_cast<size_t>(kMessages));
  for (int i = 0; i < kMessages; ++i) {
    EXPECT_EQ(seen[i].valueName, "v" + std::to_string(i));
    EXPECT_EQ(seen[i].newData.size(), 1000000u);
    EXPECT_EQ(seen[i].newData.back(), 'a' + i % 26);
  }
}

TEST_F(TrapFeed, GarbageIsDroppedAndCountedAndTheFeedGoesOn) {
  Subscriber subscriber;
  Message nulInKey = RegistryMessage(0, std::string("HKEY_USERS\\A\0B", 14));
  Message unknownKind = FileMessage(31, 0, "C:\\X");
  unknownKind.kind = static_cast<trapfeed::Kind>(7);
  const std::string frames[] = {
      Word(1000) + "abcd",                           // longer than what was written
      Word(0xFFFFFFF0) + "abcd",                     // longer than any message
      Frame("tiny"),                                 // shorter than a message's header
      Frame(WithPathLength(100)),                    // a string past the end
      Frame(WithPathLength(0xFFFFFFFF)),             // lengths that wrap around
      Frame(trapfeed::Encode(FileMessage(31, 0, std::string(5000, 'p')))),  // a huge path
      Frame(trapfeed::Encode(nulInKey)),
      Frame(trapfeed::Encode(unknownKind)),
  };
  DWORD dropped = 0;
  for (const std::string& frame : frames) {
    ASSERT_TRUE(trapfeed::SendRaw(frame.data(), static_cast<uint32_t>(frame.size())));
    ++dropped;
    EXPECT_TRUE(gui::WaitFor([&] { return TheDriver().Counts().malformed == dropped; },
                             kDeliveryTimeout))
        << "frame " << dropped;
  }
  ASSERT_TRUE(trapfeed::Send(FileMessage(31, 0, "C:\\AFTER")));
  std::vector<Seen> seen = subscriber.WaitFor(1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].path, "C:\\AFTER");
  EXPECT_EQ(TheDriver().Counts().delivered, 1u);
}

namespace {

// Runs the feed writer of tests/programs and answers its exit code.
DWORD RunFeedWriter(int count, DWORD& processId) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::string line = "C:\\tests\\programs\\feedwriter.exe " + std::to_string(count);
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info))
    return 99;
  WaitForSingleObject(info.hProcess, 30000);
  DWORD code = 99;
  GetExitCodeProcess(info.hProcess, &code);
  processId = info.dwProcessId;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return code;
}

}  // namespace

TEST_F(TrapFeed, AProcessStartedFromTheDriversProcessWritesToIt) {
  DWORD child = 0;
  {
    Subscriber subscriber;
    ASSERT_EQ(RunFeedWriter(500, child), 0u);
    std::vector<Seen> seen = subscriber.WaitFor(500);
    ASSERT_EQ(seen.size(), 500u);
    EXPECT_EQ(seen[0].path, "C:\\FROM-CHILD\\0");
    EXPECT_EQ(seen[499].path, "C:\\FROM-CHILD\\499");
    EXPECT_EQ(seen[499].processId, child ^ TheDriver().Key());
  }
  // Once the driver is gone the writer is told so at once.
  ASSERT_TRUE(TheDriver().close());
  EXPECT_EQ(RunFeedWriter(1, child), 1u);
  ASSERT_TRUE(TheDriver().open());
}
