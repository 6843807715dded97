#include <gtest/gtest.h>

#include <cstring>

#include "driver_fixture.h"
#include "trapdriver/feed/message.h"
#include "trapdriver/feed/writer.h"

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

// Appends the bytes to this process's channel as they are, padded to whole words.
bool SendRaw(std::string bytes) {
  bytes.resize((bytes.size() + 3) & ~size_t{3});
  return trapfeed::AppendFrame(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

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
      // A path past NT's longest.
      Frame(trapfeed::Encode(FileMessage(31, 0, std::string(trapfeed::kMaxPathBytes + 1, 'p')))),
      Frame(trapfeed::Encode(nulInKey)),
      Frame(trapfeed::Encode(unknownKind)),
  };
  DWORD dropped = 0;
  for (const std::string& frame : frames) {
    ASSERT_TRUE(SendRaw(frame));
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

TEST_F(TrapFeed, DataTooLargeForTheFeedArrivesCutShortWithItsWholeSize) {
  Subscriber subscriber;
  Message value = RegistryMessage(3, "HKEY_LOCAL_MACHINE\\Big", "v");
  value.hasNewData = value.hasOldData = true;
  value.newData.assign(1500000, 'n');
  value.oldData.assign(3000, 'o');
  ASSERT_TRUE(trapfeed::Send(value));
  ASSERT_TRUE(trapfeed::Send(FileMessage(31, 0, "C:\\AFTER")));
  std::vector<Seen> seen = subscriber.WaitFor(2);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].newWholeSize, 1500000u);
  EXPECT_GT(seen[0].newData.size(), 0u);
  EXPECT_LT(seen[0].newData.size(), 1500000u);
  EXPECT_EQ(seen[0].newData, std::string(seen[0].newData.size(), 'n'));
  EXPECT_EQ(seen[0].oldWholeSize, 0u);  // small enough to stay whole
  EXPECT_EQ(seen[0].oldData, value.oldData);
  EXPECT_EQ(seen[1].path, "C:\\AFTER");
}

namespace {

// The feed writer of tests/programs in a process of its own.
class FeedWriter {
 public:
  explicit FeedWriter(int count, const std::string& fault = "") {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string line = "C:\\tests\\programs\\feedwriter.exe " + std::to_string(count) + " " + fault;
    CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                   &info_);
  }
  ~FeedWriter() {
    Kill();
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
  DWORD id() const { return info_.dwProcessId; }
  // Its exit code, 99 when it did not end in time.
  DWORD Wait() const {
    DWORD code = 99;
    if (WaitForSingleObject(info_.hProcess, 30000) == WAIT_OBJECT_0)
      GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }
  void Kill() const {
    TerminateProcess(info_.hProcess, 2);
    WaitForSingleObject(info_.hProcess, 5000);
  }

 private:
  PROCESS_INFORMATION info_{};
};

}  // namespace

TEST_F(TrapFeed, AProcessStartedFromTheDriversProcessWritesToIt) {
  DWORD child = 0;
  {
    Subscriber subscriber;
    FeedWriter writer(500);
    ASSERT_EQ(writer.Wait(), 0u);
    child = writer.id();
    std::vector<Seen> seen = subscriber.WaitFor(500);
    ASSERT_EQ(seen.size(), 500u);
    EXPECT_EQ(seen[0].path, "C:\\FROM-CHILD\\0");
    EXPECT_EQ(seen[499].path, "C:\\FROM-CHILD\\499");
    EXPECT_EQ(seen[499].processId, child ^ TheDriver().Key());
  }
  // Once the driver is gone the writer is told so at once.
  ASSERT_TRUE(TheDriver().close());
  EXPECT_EQ(FeedWriter(1).Wait(), 1u);
  ASSERT_TRUE(TheDriver().open());
}

// A writer that goes wrong while two good ones write, and is killed at last, most likely in
// the middle of a message: each good one's messages all arrive, in order, and nothing waits
// on the bad one.
TEST_F(TrapFeed, OneBadOrDeadWriterCostsTheOthersNothing) {
  constexpr int kCount = 1000;
  for (const char* fault : {"garbage", "scribble", "endless"}) {
    SCOPED_TRACE(fault);
    Subscriber subscriber;
    const uint32_t key = TheDriver().Key();
    const DWORD malformed = TheDriver().Counts().malformed;
    FeedWriter bad(kCount, fault);
    // Under way: something of it has come, whole or not.
    EXPECT_TRUE(gui::WaitFor([&] {
      for (const Seen& record : subscriber.WaitFor(0))
        if (record.processId == (bad.id() ^ key)) return true;
      return TheDriver().Counts().malformed > malformed;
    }, kDeliveryTimeout));
    FeedWriter good1(kCount), good2(kCount);
    EXPECT_EQ(good1.Wait(), 0u);
    EXPECT_EQ(good2.Wait(), 0u);
    bad.Kill();
    ASSERT_TRUE(trapfeed::Send(FileMessage(31, 0, "C:\\AFTER")));
    std::vector<std::string> fromGood[2];
    EXPECT_TRUE(gui::WaitFor([&] {
      fromGood[0].clear();
      fromGood[1].clear();
      bool after = false;
      for (const Seen& record : subscriber.WaitFor(0)) {
        after = after || record.path == "C:\\AFTER";
        for (int i = 0; i < 2; ++i)
          if (record.processId == ((i ? good2 : good1).id() ^ key))
            fromGood[i].push_back(record.path);
      }
      return after && fromGood[0].size() >= kCount && fromGood[1].size() >= kCount;
    }, kDeliveryTimeout));
    for (const auto& paths : fromGood) {
      ASSERT_EQ(paths.size(), size_t{kCount});
      for (int i = 0; i < kCount; ++i) ASSERT_EQ(paths[i], "C:\\FROM-CHILD\\" + std::to_string(i));
    }
  }
}
