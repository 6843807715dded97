// The record decoder's folding rules, the text form of registry data and the hand-over,
// fed with records directly (no driver needed).
#include <gtest/gtest.h>

#include <iterator>
#include <optional>
#include <utility>

#include "platform/trapabi.h"
#include "realtime/processes.h"
#include "realtime/records.h"
#include "support/fake_trap_driver.h"

using namespace testing_support;

namespace {

// Records decoded by a recorder of the test's own, and its lists as handed over (all of
// them at the first look).
class DecodeTrapRecord : public ::testing::Test {
 protected:
  void Decode(const Record& record) { recorder_.Decode(record.data()); }
  void Clear() {
    recorder_.Take();
    taken_.reset();
  }
  engines::ResultList Take(unsigned index) {
    if (!taken_) taken_ = recorder_.Take();
    return std::exchange(taken_->lists[index], {});
  }
  std::vector<std::string> Texts(unsigned index) {
    std::vector<std::string> texts;
    for (const engines::ListEntry& entry : Take(index)) texts.push_back(entry.text);
    return texts;
  }
  size_t ProcessCount() {
    if (!taken_) taken_ = recorder_.Take();
    return taken_->processes.size();
  }
  realtime::RegistryBefore Before() {
    if (!taken_) taken_ = recorder_.Take();
    return std::exchange(taken_->registryBefore, {});
  }

 private:
  realtime::ChangeRecorder recorder_;
  std::optional<realtime::TrackingResults> taken_;
};
using TakeGrouped = DecodeTrapRecord;

using Texts5 = std::vector<std::vector<std::string>>;  // changed, added, deleted, dirs +, dirs -

FileOp FolderRenamed(const std::string& from, const std::string& to) {
  FileOp op(37, from, to);
  op.folder = true;
  return op;
}

// Past the record's 260-byte field: the driver hands the whole path over beside it.
const std::string kDeep = "C:\\" + std::string(300, 'd') + "\\file.txt";

struct FoldCase {
  const char* name;
  std::vector<FileOp> ops;
  Texts5 expected;
};

TEST_F(DecodeTrapRecord, FoldsFileOperations) {
  const FoldCase cases[] = {
      {"created then deleted leaves nothing",
       {{36, "C:\\A.TXT", "", 1, 1, true}, {31, "C:\\A.TXT"}},
       {{}, {}, {}, {}, {}}},
      {"changed then deleted is deleted",
       {{36, "C:\\A.TXT", "", 1, 1}, {31, "c:\\a.txt"}},
       {{}, {}, {"c:\\a.txt"}, {}, {}}},
      {"created then written is only added",
       {{36, "C:\\A.TXT", "", 1, 1, true}, {36, "C:\\A.TXT", "", 1, 2}},
       {{}, {"C:\\A.TXT"}, {}, {}, {}}},
      {"one entry for both spellings, as first spelled",
       {{36, "C:\\Dir\\A.txt", "", 1, 1}, {36, "C:\\DIR\\A.TXT", "", 1, 2}, {31, "c:\\x"}, {31, "C:\\X"}},
       {{"C:\\Dir\\A.txt"}, {}, {"c:\\x"}, {}, {}}},
      {"renamed away",
       {{37, "C:\\A", "C:\\B"}},
       {{}, {"C:\\B"}, {"C:\\A"}, {}, {}}},
      {"rename there and back replaces the file",
       {{37, "C:\\A", "C:\\B"}, {37, "C:\\B", "C:\\A"}},
       {{"C:\\A"}, {}, {}, {}, {}}},
      {"deleted, then a new file renamed onto it, is changed",
       {{31, "C:\\I"}, {36, "C:\\T", "", 1, 1, true}, {37, "C:\\T", "C:\\I"}},
       {{"C:\\I"}, {}, {}, {}, {}}},
      {"deleted and created again is changed",
       {{31, "C:\\I"}, {36, "C:\\I", "", 1, 1, true}},
       {{"C:\\I"}, {}, {}, {}, {}}},
      {"a folder renamed: gone under the old name, there under the new, entries alike",
       {FolderRenamed("C:\\D", "C:\\E"), {37, "C:\\D\\f", "C:\\E\\f"}},
       {{}, {"C:\\E\\f"}, {"C:\\D\\f"}, {"C:\\E"}, {"C:\\D"}}},
      {"a folder made and renamed shows only under its new name",
       {{32, "C:\\D", "", 1, 0}, {36, "C:\\D\\f", "", 1, 1, true}, FolderRenamed("C:\\D", "C:\\E"),
        {37, "C:\\D\\f", "C:\\E\\f"}},
       {{}, {"C:\\E\\f"}, {}, {"C:\\E"}, {}}},
      {"a folder renamed there and back is no change",
       {FolderRenamed("C:\\D", "C:\\E"), FolderRenamed("C:\\E", "C:\\D")},
       {{}, {}, {}, {}, {}}},
      {"long paths whole",
       {{36, kDeep, "", 1, 1, true}, {37, kDeep + "2", kDeep + "3"}},
       {{}, {kDeep, kDeep + "3"}, {kDeep + "2"}, {}, {}}},
      {"a folder made and removed again leaves nothing; one that stood before is deleted",
       {{32, "C:\\D", "", 1, 0}, {32, "C:\\D", "", 1, 1}, {32, "C:\\E", "", 1, 0},
        {32, "C:\\F", "", 1, 1}},
       {{}, {}, {}, {"C:\\E"}, {"C:\\F"}}},
      {"failed operations and reads are ignored",
       {{31, "C:\\F", "", 1, 0, false, 5}, {0, "C:\\G"}, {11, "C:\\G"}},
       {{}, {}, {}, {}, {}}},
  };
  for (const FoldCase& c : cases) {
    SCOPED_TRACE(c.name);
    Clear();
    for (const FileOp& op : c.ops) Decode(FileRecord(op));
    Texts5 got;
    for (unsigned list : {realtime::rlFilesChanged, realtime::rlFilesAdded, realtime::rlFilesDeleted,
                          realtime::rlDirsAdded, realtime::rlDirsDeleted})
      got.push_back(Texts(list));
    EXPECT_EQ(got, c.expected);
  }
}

TEST_F(DecodeTrapRecord, ChangedFileKeepsItsFirstOpen) {
  Clear();
  FileOp first{36, "C:\\A.DLL", "", 7, 1};
  first.size = 0x100000005ull;
  first.writeTime = {11, 22};
  FileOp second = first;
  second.size = 9;
  Decode(FileRecord(first));
  Decode(FileRecord(second));
  auto changed = Take(realtime::rlFilesChanged);
  ASSERT_EQ(changed.size(), 1u);
  const auto& opened = std::get<engines::FilOpeObject>(changed[0].item);
  EXPECT_EQ(opened.sizeHigh, 1u);
  EXPECT_EQ(opened.sizeLow, 5u);
  EXPECT_EQ(opened.writeTimeLow, 11u);
  EXPECT_EQ(opened.writeTimeHigh, 22u);
  EXPECT_EQ(opened.processId, 7u);
}

TEST(RegistryDataText, FormsOfEachType) {
  struct Case {
    std::string bytes;
    int32_t type;
    const char* text;
  };
  std::string seventeen;
  for (int i = 0; i <= 16; ++i) seventeen += static_cast<char>(i);
  const Case cases[] = {
      {std::string("\x01\x02\x03", 3), REG_BINARY, "010203"},
      {seventeen, REG_BINARY, "00,01,02,03,04,05,06,07,08,09,0A,0B,0C,0D,0E,0F 10"},
      {seventeen.substr(0, 16), REG_NONE, "00,01,02,03,04,05,06,07,08,09,0A,0B,0C,0D,0E,0F "},
      {"", REG_BINARY, ""},
      {std::string("\xFF\xFF\xFF\xFF", 4), REG_DWORD, "4294967295"},
      {std::string("\x01\x02", 2), REG_DWORD, "513"},
      {std::string("\x00\x00\x01\x02", 4), REG_DWORD_BIG_ENDIAN, "258"},
      {std::string("a\tb\0c", 5), REG_SZ, "a.b"},
      {std::string("one\0two\0\0", 9), REG_MULTI_SZ, "one.two"},
      {std::string("one\0\ttwo", 8), REG_MULTI_SZ, "one..two"},
      {std::string("\0\0", 2), REG_MULTI_SZ, ""},
      {std::string("%WINDIR%"), REG_EXPAND_SZ, "%WINDIR%"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(realtime::RegistryDataText(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()), c.type),
              c.text);
  }
  EXPECT_EQ(realtime::RegistryDataText(nullptr, 4, REG_DWORD), "");
}

TEST_F(DecodeTrapRecord, RegistryWritesThatChangeNothingAreDropped) {
  const std::string same = "abc", sameToo = "abc", dotted = std::string("a\x01z", 3),
                    dottedToo = std::string("a\x02z\0junk", 8), empty = "", other = "abd",
                    list = std::string("a\0b\0\0", 5), listChanged = std::string("a\0c\0\0", 5),
                    listUnended = std::string("a\0b", 3);
  struct Case {
    const char* name;
    uint32_t operation;
    const std::string *newData, *oldData;
    bool kept;
    int32_t type = REG_SZ;
  };
  const Case cases[] = {
      {"same bytes", 3, &same, &sameToo, false},
      {"same text once folded", 3, &dotted, &dottedToo, false},
      {"an empty string added is a value added", 2, &empty, nullptr, true},
      {"no data at all", 2, nullptr, nullptr, false},
      {"a real change", 3, &other, &same, true},
      {"a deletion is never dropped", 4, nullptr, &same, true},
      {"a list changed after its first string", 3, &listChanged, &list, true, REG_MULTI_SZ},
      {"a list that only lost its end", 3, &listUnended, &list, false, REG_MULTI_SZ},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Clear();
    RegOp op;
    op.operation = c.operation;
    op.newData = c.newData;
    op.oldData = c.oldData;
    op.type = c.type;
    Decode(RegistryRecord(op));
    size_t entries = 0;
    for (unsigned list = realtime::rlKeysAdded; list <= realtime::rlValuesDeleted; ++list)
      entries += Take(list).size();
    EXPECT_EQ(entries, c.kept ? 1u : 0u);
  }
}

TEST_F(DecodeTrapRecord, DataTheDriverCutShortSaysSo) {
  Clear();
  const std::string start(8, 'a');
  RegOp op;
  op.operation = trapabi::roValueChanged;
  op.newData = op.oldData = &start;
  op.newWholeSize = 2000000;
  op.oldWholeSize = 1500000;
  Decode(RegistryRecord(op));
  auto changed = Take(realtime::rlValuesChanged);
  ASSERT_EQ(changed.size(), 1u);  // the same start, not the same data
  const auto& record = std::get<engines::RegObject>(changed[0].item);
  EXPECT_EQ(record.newData, "aaaaaaaa (shortened, 2000000 bytes)");
  EXPECT_EQ(record.oldData, "aaaaaaaa (shortened, 1500000 bytes)");
}

TEST_F(DecodeTrapRecord, RegistryEntries) {
  Clear();
  const std::string dword("\xFF\xFF\xFF\xFF", 4), was("\x01\0\0\0", 4);
  RegOp key;
  key.operation = trapabi::roKeyCreated;
  key.processId = 3;
  Decode(RegistryRecord(key));
  Decode(RegistryRecord(key));  // no duplicate test for registry records
  RegOp noSubkey;
  noSubkey.operation = trapabi::roKeyDeleted;
  noSubkey.subkey = nullptr;
  Decode(RegistryRecord(noSubkey));
  RegOp value;
  value.operation = trapabi::roValueChanged;
  value.subkey = nullptr;
  value.type = REG_DWORD;
  value.newData = &dword;
  value.oldData = &was;
  value.processId = 4;
  Decode(RegistryRecord(value));

  EXPECT_EQ(Texts(realtime::rlKeysAdded),
            (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\Software\\Vendor",
                                      "HKEY_LOCAL_MACHINE\\Software\\Vendor"}));
  EXPECT_TRUE(Texts(realtime::rlKeysDeleted).empty());
  auto changed = Take(realtime::rlValuesChanged);
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_EQ(changed[0].text, "HKEY_LOCAL_MACHINE\\Software\\");
  const auto& record = std::get<engines::RegObject>(changed[0].item);
  EXPECT_EQ(record.valueName, "@");
  EXPECT_EQ(record.newData, "4294967295");
  EXPECT_EQ(record.oldData, "1");
  EXPECT_EQ(record.processId, 4u);
  EXPECT_EQ(record.valueType, REG_DWORD);
}

// The default value's empty name and names made only of "@" are written apart, in the
// change and in what the undo keeps of the value before it.
TEST_F(DecodeTrapRecord, ValueNamesOfAtSignsStandApartFromTheDefaultValue) {
  Clear();
  const std::string data = "x";
  const std::pair<const char*, const char*> names[] = {
      {"", "@"}, {"@", "@@"}, {"@@", "@@@"}, {"a@", "a@"}};
  for (auto [name, written] : names) {
    RegOp op;
    op.operation = trapabi::roValueAdded;
    op.valueName = name;
    op.newData = &data;
    Decode(RegistryRecord(op));
  }
  const realtime::RegistryBefore before = Before();
  const engines::ResultList added = Take(realtime::rlValuesAdded);
  ASSERT_EQ(added.size(), std::size(names));
  ASSERT_EQ(before.values.size(), std::size(names));
  for (size_t i = 0; i < added.size(); ++i) {
    EXPECT_EQ(std::get<engines::RegObject>(added[i].item).valueName, names[i].second);
    EXPECT_EQ(before.values[i].valueName, names[i].second);
  }
}

TEST_F(TakeGrouped, GathersByProcessOnce) {
  Clear();
  for (auto [path, process] : {std::pair{"C:\\1", 7u}, {"C:\\2", 9u}, {"C:\\3", 7u}})
    Decode(FileRecord({31, path, "", process}));
  auto deleted = Take(realtime::rlFilesDeleted);
  std::vector<std::pair<std::string, engines::ProcessId>> got;
  for (const auto& entry : deleted)
    got.emplace_back(entry.text, std::get<engines::ProcessId>(entry.item));
  EXPECT_EQ(got, (std::vector<std::pair<std::string, engines::ProcessId>>{
                     {"C:\\1", 7}, {"C:\\3", 7}, {"C:\\2", 9}}));
  EXPECT_TRUE(Take(realtime::rlFilesDeleted).empty());
  // Every file record registers its process, once.
  EXPECT_EQ(ProcessCount(), 2u);
}

}  // namespace
