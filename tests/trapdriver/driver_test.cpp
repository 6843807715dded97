#include <gtest/gtest.h>

#include "driver_fixture.h"

#include <tlhelp32.h>

#include <cstring>
#include "platform/trapabi.h"
#include "support/gui_driver.h"
#include "support/own_threads.h"
#include "support/temp_folder.h"

#include <thread>

using namespace trapdriver_testing;
using trapfeed::Message;

namespace {

using testing_support::ThreadsOfThisProcess;

class TrapDriver : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(TheDriver().open()); }
  void TearDown() override { EXPECT_TRUE(TheDriver().close()); }
};

// Sends the messages, then one that every subscriber takes, and answers what came.
std::vector<Seen> Deliveries(Subscriber& subscriber, const std::vector<Message>& messages,
                             size_t expected) {
  for (const Message& message : messages) EXPECT_TRUE(trapfeed::Send(message));
  EXPECT_TRUE(trapfeed::Send(FileMessage(32, 0, "C:\\END")));
  std::vector<Seen> seen = subscriber.WaitFor(expected + 1);
  EXPECT_EQ(seen.size(), expected + 1);
  if (!seen.empty() && seen.back().path == "C:\\END") seen.pop_back();
  return seen;
}

}  // namespace

TEST_F(TrapDriver, EachFileOperationReachesItsBlockWithItsRecord) {
  Subscriber subscriber;
  Message created = FileMessage(36, 1, "C:\\NEW.TXT");
  created.created = true;
  created.sizeBefore = 0x123456789ull;
  created.writeTimeBefore = 0x01D2000011112222ull;
  Message renamed = FileMessage(37, 0, "C:\\A.TXT");
  renamed.newPath = "C:\\B.TXT";
  Message failed = FileMessage(31, 0, "C:\\LOCKED");
  failed.status = 0x20000;  // a failure with nothing in the record's two bytes
  const std::string longest(260, 'x'), longer(32767, 'y');
  Message folderRenamed = FileMessage(37, trapabi::fsFolderRenamed, "C:\\" + longer);
  folderRenamed.newPath = "C:\\" + longer + "z";
  struct Case {
    Message message;
    bool delivered;
  } cases[] = {
      {FileMessage(32, 0, "C:\\DIR"), true},         {FileMessage(32, 1, "C:\\OLD"), true},
      {FileMessage(31, 0, "C:\\GONE"), true},        {created, true},
      {renamed, true},                               {FileMessage(36, 2, "C:\\RW"), true},
      {FileMessage(36, 0, "C:\\READ"), false},       {FileMessage(11, 0, "C:\\CLOSE"), false},
      {FileMessage(0, 0, "C:\\READING"), false},     {failed, true},
      {FileMessage(31, 0, longest), true},           {folderRenamed, true},
  };
  std::vector<Message> messages;
  std::vector<Message> expected;
  for (const Case& c : cases) {
    messages.push_back(c.message);
    if (c.delivered) expected.push_back(c.message);
  }
  std::vector<Seen> seen = Deliveries(subscriber, messages, expected.size());
  ASSERT_EQ(seen.size(), expected.size());
  const uint32_t key = TheDriver().Key();
  for (size_t i = 0; i < seen.size(); ++i) {
    SCOPED_TRACE(expected[i].path);
    EXPECT_EQ(seen[i].kind, 64u);
    EXPECT_EQ(seen[i].operation, expected[i].operation);
    EXPECT_EQ(seen[i].subCode, expected[i].subCode);
    EXPECT_EQ(seen[i].path, expected[i].path);
    EXPECT_EQ(seen[i].newPath, expected[i].newPath);
    EXPECT_EQ(seen[i].flags, expected[i].operation == 37 && expected[i].subCode == 1 ? 1 : 0);
    EXPECT_EQ(seen[i].processId, expected[i].processId ^ key);
    EXPECT_EQ(seen[i].status != 0, expected[i].status != 0);
    EXPECT_EQ(seen[i].created != 0, expected[i].created);
    EXPECT_EQ(seen[i].sizeBefore, expected[i].sizeBefore);
    EXPECT_EQ(seen[i].writeTimeBefore, expected[i].writeTimeBefore);
  }
  EXPECT_TRUE(gui::WaitFor([] { return TheDriver().Counts().outstandingRecords == 0; },
                           kDeliveryTimeout));
}

TEST_F(TrapDriver, RegistryRecordsSplitTheKeyAndPointAtTheirData) {
  Subscriber subscriber;
  Message added = RegistryMessage(2, "HKEY_LOCAL_MACHINE\\Software\\Maker\\App", "Path");
  added.valueType = REG_SZ;
  added.hasNewData = true;
  added.newData = std::string("C:\\APP\0", 7);
  Message changed = RegistryMessage(3, "HKEY_USERS\\.DEFAULT\\Control Panel");
  changed.valueType = REG_BINARY;
  changed.hasNewData = changed.hasOldData = true;
  changed.newData = std::string("\x01\x00\x02", 3);
  Message emptied = RegistryMessage(3, "HKEY_USERS\\S-1-5-21\\Env", "Empty");
  emptied.hasNewData = emptied.hasOldData = true;  // both present, both empty
  emptied.oldData = "x";
  Message deleted = RegistryMessage(4, "HKEY_LOCAL_MACHINE\\Software\\Maker", "Gone");
  deleted.hasOldData = true;
  deleted.oldData = "old";
  Message failed = RegistryMessage(0, "HKEY_LOCAL_MACHINE\\Software\\Denied");
  failed.status = 5;
  struct Case {
    Message message;
    const char* key;
    const char* subkey;
  } cases[] = {
      {RegistryMessage(0, "HKEY_LOCAL_MACHINE\\Software\\Maker"), "HKEY_LOCAL_MACHINE",
       "Software\\Maker"},
      {RegistryMessage(1, "HKEY_USERS"), "HKEY_USERS", ""},
      {added, "HKEY_LOCAL_MACHINE", "Software\\Maker\\App"},
      {changed, "HKEY_USERS", ".DEFAULT\\Control Panel"},
      {emptied, "HKEY_USERS", "S-1-5-21\\Env"},
      {deleted, "HKEY_LOCAL_MACHINE", "Software\\Maker"},
      {failed, nullptr, nullptr},  // a registry record has no status: not delivered
  };
  std::vector<Message> messages;
  for (const Case& c : cases) messages.push_back(c.message);
  std::vector<Seen> seen = Deliveries(subscriber, messages, 6);
  ASSERT_EQ(seen.size(), 6u);
  const uint32_t key = TheDriver().Key();
  for (size_t i = 0; i < seen.size(); ++i) {
    const Message& sent = cases[i].message;
    SCOPED_TRACE(sent.keyPath);
    EXPECT_EQ(seen[i].kind, 1u);
    EXPECT_EQ(seen[i].operation, sent.operation);
    EXPECT_EQ(seen[i].processId, sent.processId ^ key);
    EXPECT_TRUE(seen[i].hasKey && seen[i].hasSubkey);
    EXPECT_EQ(seen[i].key, cases[i].key);
    EXPECT_EQ(seen[i].subkey, cases[i].subkey);
    EXPECT_EQ(seen[i].hasValueName, sent.operation >= 2);
    EXPECT_EQ(seen[i].valueName, sent.valueName);
    EXPECT_EQ(seen[i].valueType, sent.valueType);
    EXPECT_EQ(seen[i].hasNewData, sent.hasNewData);
    EXPECT_EQ(seen[i].newData, sent.newData);
    EXPECT_EQ(seen[i].hasOldData, sent.hasOldData);
    EXPECT_EQ(seen[i].oldData, sent.oldData);
    EXPECT_NE(seen[i].buffers[0], 0u);
    EXPECT_EQ(seen[i].buffers[1] != 0, sent.hasNewData);
    EXPECT_EQ(seen[i].buffers[2] != 0, sent.hasOldData);
  }
}

TEST_F(TrapDriver, RecordsAndBuffersStayOutUntilGivenBack) {
  Subscriber subscriber(false);
  Message changed = RegistryMessage(3, "HKEY_LOCAL_MACHINE\\Software", "V");
  changed.hasNewData = changed.hasOldData = true;
  ASSERT_TRUE(trapfeed::Send(changed));
  ASSERT_TRUE(trapfeed::Send(FileMessage(32, 0, "C:\\DIR")));
  std::vector<Seen> seen = subscriber.WaitFor(2);
  ASSERT_EQ(seen.size(), 2u);
  VortTrapCounts counts = TheDriver().Counts();
  EXPECT_EQ(counts.outstandingRecords, 2u);
  EXPECT_EQ(counts.outstandingBuffers, 3u);
  // Still readable: the strings are where the record said.
  EXPECT_STREQ(reinterpret_cast<const char*>(
                   static_cast<uintptr_t>(*reinterpret_cast<const uint32_t*>(seen[0].address + 21))),
               "HKEY_LOCAL_MACHINE");

  for (const Seen& record : seen) {
    for (uint32_t buffer : record.buffers)
      if (buffer) {
        EXPECT_TRUE(TheDriver().Control(tcReleaseBuffer, &buffer, 4, nullptr, 0));
      }
    EXPECT_TRUE(TheDriver().Control(tcReleaseRecord, &record.address, 4, nullptr, 0));
  }
  counts = TheDriver().Counts();
  EXPECT_EQ(counts.outstandingRecords, 0u);
  EXPECT_EQ(counts.outstandingBuffers, 0u);
  // A second release of the same record or buffer is refused.
  EXPECT_FALSE(TheDriver().Control(tcReleaseRecord, &seen[1].address, 4, nullptr, 0));
  EXPECT_FALSE(TheDriver().Control(tcReleaseBuffer, &seen[0].buffers[0], 4, nullptr, 0));
}

TEST_F(TrapDriver, AWithdrawnBlockGetsNothingMore) {
  Subscriber subscriber;
  uint8_t wrongBlock[12] = {1, 0, 0, 0, 0, 0, 0, 0, 60, 0, 0, 0};
  EXPECT_FALSE(TheDriver().Control(tcUnsubscribe, wrongBlock, 12, nullptr, 0));
  ASSERT_TRUE(subscriber.Unsubscribe(2));  // files deleted
  std::vector<Seen> seen =
      Deliveries(subscriber, {FileMessage(31, 0, "C:\\GONE"), FileMessage(32, 0, "C:\\DIR")}, 1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].path, "C:\\DIR");
  EXPECT_EQ(TheDriver().Counts().subscriptions, 10u);
}

TEST_F(TrapDriver, ControlCodesAnswerOnlyWithTheirBufferSizes) {
  WORD version = 0;
  ASSERT_TRUE(TheDriver().Control(tcGetVersion, nullptr, 0, &version, 2));
  EXPECT_EQ(version, 0x0102);
  const uint32_t key = TheDriver().Key();
  EXPECT_NE(key, 0u);

  uint8_t in[64] = {}, out[8] = {};
  struct Case {
    DWORD code, inSize, outSize;
    DWORD error;
  } cases[] = {
      {tcGetVersion, 0, 4, ERROR_INVALID_PARAMETER},  {tcGetVersion, 4, 2, ERROR_INVALID_PARAMETER},
      {tcSubscribe, 56, 4, ERROR_INVALID_PARAMETER},  {tcSubscribe, 60, 0, ERROR_INVALID_PARAMETER},
      {tcReleaseRecord, 8, 0, ERROR_INVALID_PARAMETER}, {tcUnsubscribe, 8, 0, ERROR_INVALID_PARAMETER},
      {tcReleaseBuffer, 2, 0, ERROR_INVALID_PARAMETER}, {tcGetProcessKey, 4, 2, ERROR_INVALID_PARAMETER},
      {tcGetProcessKey, 0, 4, ERROR_INVALID_PARAMETER}, {7, 0, 0, ERROR_NOT_SUPPORTED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    SetLastError(0);
    EXPECT_FALSE(TheDriver().Control(c.code, in, c.inSize, out, c.outSize));
    EXPECT_EQ(GetLastError(), c.error);
  }
  // A subscription without a routine is refused too.
  EXPECT_FALSE(TheDriver().Control(tcSubscribe, in, 60, out, 4));

  // The key outlives the load: a program asks for it once, at its start.
  ASSERT_TRUE(TheDriver().close());
  ASSERT_TRUE(TheDriver().open());
  EXPECT_EQ(TheDriver().Key(), key);
}

TEST(TrapDriverLoad, TheLastCloseEndsItsThreadAndWritersStop) {
  const Driver& driver = TheDriver();
  const int threadsBefore = ThreadsOfThisProcess();
  ASSERT_TRUE(driver.open());
  ASSERT_TRUE(driver.open());  // a one-shot query during the session
  EXPECT_GT(ThreadsOfThisProcess(), threadsBefore);
  ASSERT_TRUE(driver.close());
  {
    Subscriber subscriber;
    ASSERT_TRUE(trapfeed::Send(FileMessage(31, 0, "C:\\STILL")));
    EXPECT_EQ(subscriber.WaitFor(1).size(), 1u);
  }
  ASSERT_TRUE(driver.close());
  EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore);
  EXPECT_EQ(driver.Counts().openHandles, 0u);
  EXPECT_FALSE(driver.close());
  EXPECT_FALSE(trapfeed::Send(FileMessage(31, 0, "C:\\LATE")));
  WORD version = 0;
  EXPECT_FALSE(driver.Control(tcGetVersion, nullptr, 0, &version, 2));

  // A new load starts clean and listens again.
  ASSERT_TRUE(driver.open());
  EXPECT_EQ(driver.Counts().delivered, 0u);
  {
    Subscriber subscriber;
    ASSERT_TRUE(trapfeed::Send(FileMessage(31, 0, "C:\\AGAIN")));
    EXPECT_EQ(subscriber.WaitFor(1).size(), 1u);
  }
  EXPECT_TRUE(driver.close());
}

// A subscriber that keeps its records holds the reader at 4,096 records out, and nothing is
// lost: given back, the rest arrive. Records queued while the subscriber is busy run 1,000
// to a call, the call queued again for the rest, so all of them come. The last close with
// records still out leaves them where the subscriber can read them.
TEST(TrapDriverLoad, LimitsBatchesAndTheLastCloseWithRecordsOut) {
  ASSERT_TRUE(TheDriver().open());
  auto counts = [] { return TheDriver().Counts(); };
  std::vector<Seen> kept;
  {
    Subscriber subscriber(false);
    subscriber.Hold();
    std::thread writer([] {
      for (int i = 0; i < 5000; ++i)
        EXPECT_TRUE(trapfeed::Send(FileMessage(31, 0, "C:\\F" + std::to_string(i))));
    });
    EXPECT_TRUE(gui::WaitFor([&] { return counts().delivered == 4096; }, kDeliveryTimeout));
    EXPECT_EQ(counts().outstandingRecords, 4096u);
    subscriber.Resume();
    kept = subscriber.WaitFor(4096);
    ASSERT_EQ(kept.size(), 4096u);
    // Back a few at a time: each makes room for as many more.
    for (size_t i = 0; i < 904; ++i)
      EXPECT_TRUE(TheDriver().Control(tcReleaseRecord, &kept[i].address, 4, nullptr, 0));
    writer.join();
    kept = subscriber.WaitFor(5000);
    ASSERT_EQ(kept.size(), 5000u);
    EXPECT_EQ(kept.back().path, "C:\\F4999");
    EXPECT_EQ(counts().outstandingRecords, 4096u);
  }
  ASSERT_TRUE(TheDriver().close());
  EXPECT_EQ(counts().abandoned, 4096u);
  EXPECT_EQ(kept.back().path, reinterpret_cast<const char*>(kept.back().address + 23));
}

// While anyone subscribes, the driver traces every process. One that no traced process
// starts (here the test's own child starts it, and the test is the driver's process) is
// found by the watcher and traced from then on, and the driver says so: a note of its own
// code names it as traced late, from a moment before its first operation.
TEST_F(TrapDriver, AProcessFromOutsideIsFoundAndNotedAsTracedLate) {
  testing_support::TempFolder folder;
  Subscriber subscriber;
  FILETIME began;
  GetSystemTimeAsFileTime(&began);
  // The starter ends at once; its child writes its marker after 2 s, and again until the
  // test has seen a write: on a busy machine the capture may take longer to arrive in a
  // process found running, and what a process did before is not traced, by design.
  const std::string mark = folder / "mark";
  const std::string seenWrite = folder / "seen";  // the test saw a write
  std::string line =
      "C:\\tests\\programs\\fakesetup.exe spawn 1 1 " + mark + " 2000 " + seenWrite;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &started));
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  uint32_t marker = 0;
  ASSERT_TRUE(gui::WaitFor([&] {
    for (const Seen& seen : subscriber.WaitFor(0))
      if (seen.kind == 64 && _strnicmp(seen.path.c_str(), mark.c_str(), mark.size()) == 0) {
        marker = std::stoul(seen.path.substr(mark.size()));
        EXPECT_EQ(seen.processId, marker ^ TheDriver().Key());
        return true;
      }
    return false;
  }, 20000));
  folder.Write("seen", "");

  namespace note = trapabi::process_note;
  unsigned char bytes[note::kSize];
  bool noted = false;
  for (uint32_t index = 0; TheDriver().Control(trapabi::tcGetProcessNote, &index, 4, bytes,
                                               sizeof bytes);
       ++index) {
    uint32_t kind;
    FILETIME since;
    std::memcpy(&kind, bytes + note::kKind, 4);
    std::memcpy(&since, bytes + note::kSince, 8);
    // The watcher notes the program it found. Under load the starter may outlive the
    // watcher's grace and be found itself; then the marker's writer is traced from its start
    // by the starter's capture, and the starter carries the note.
    if (std::string(reinterpret_cast<const char*>(bytes + note::kName)) != "fakesetup.exe")
      continue;
    noted = true;
    EXPECT_EQ(kind, note::kTracedLate);
    EXPECT_GE(CompareFileTime(&since, &began), 0);
  }
  EXPECT_TRUE(noted);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));

  // The driver knows its name, as it knows every process it saw; one it never saw has none.
  char name[note::kNameSize] = "";
  uint32_t id = marker ^ TheDriver().Key();
  EXPECT_TRUE(TheDriver().Control(trapabi::tcGetProcessName, &id, 4, name, sizeof name));
  EXPECT_STREQ(name, "fakesetup.exe");
  id = 0;
  EXPECT_FALSE(TheDriver().Control(trapabi::tcGetProcessName, &id, 4, name, sizeof name));
}
