#include "engines/registry.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "platform/registry.h"
#include "platform/textfile.h"
#include "support/temp_folder.h"

using engines::RegObject;
using engines::ResultList;
using Lines = std::vector<std::string>;

namespace {

Lines ReadLines(const std::string& path) {
  platform::BufferedReader reader(path);
  Lines lines;
  std::string line;
  while (reader.ReadLine(line)) lines.push_back(line);
  return lines;
}

struct Changes {
  ResultList keysAdded, keysDeleted, valuesChanged, valuesAdded, valuesDeleted;
};

Changes Compare(const std::string& before, const std::string& after) {
  Changes c;
  engines::CompareRegistrySnapshots(before, after, c.keysAdded, c.keysDeleted, c.valuesChanged,
                                    c.valuesAdded, c.valuesDeleted, nullptr);
  return c;
}

// Line by line: a listing is too long for one printed vector.
void ExpectLines(const Lines& actual, const Lines& expected) {
  for (size_t i = 0; i < actual.size() && i < expected.size(); ++i)
    EXPECT_EQ(actual[i], expected[i]) << "line " << i;
  EXPECT_EQ(actual.size(), expected.size());
}

const RegObject& Object(const engines::ListEntry& entry) { return std::get<RegObject>(entry.item); }

// Each test has keys of its own below HKEY_USERS\.Default\Software and
// HKEY_LOCAL_MACHINE\Software (tests run in parallel processes); the snapshots walk
// only those two keys.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = std::string("Vortan4Test-") +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
            std::to_string(GetCurrentProcessId());
    machinePath_ = "HKEY_LOCAL_MACHINE\\Software\\" + name_;
    usersPath_ = "HKEY_USERS\\.Default\\Software\\" + name_;
    TearDown();
    CreateKey(HKEY_LOCAL_MACHINE, "");
    CreateKey(HKEY_USERS, "");
  }
  void TearDown() override {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, ("Software\\" + name_).c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, ("Software\\" + name_).c_str());
    RegDeleteTreeA(HKEY_USERS, (".Default\\Software\\" + name_).c_str());
    RegDeleteKeyA(HKEY_USERS, (".Default\\Software\\" + name_).c_str());
  }

  std::string Subkey(HKEY root, const std::string& path) const {
    std::string key = (root == HKEY_USERS ? ".Default\\Software\\" : "Software\\") + name_;
    return path.empty() ? key : key + "\\" + path;
  }
  void CreateKey(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, Subkey(root, path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  // Created below its parent: Wine's A functions take paths of about 255 characters at most.
  void CreateLongKey(const std::string& name) {
    HKEY parent = nullptr, key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, Subkey(HKEY_LOCAL_MACHINE, "").c_str(), 0,
                            KEY_ALL_ACCESS, &parent),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCreateKeyExA(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, std::string(16383, 'v').c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>("long"), 5),
              ERROR_SUCCESS);
    RegCloseKey(key);
    RegCloseKey(parent);
  }
  void Set(const std::string& path, const std::string& name, DWORD type, const std::string& data,
           HKEY root = HKEY_LOCAL_MACHINE) {
    CreateKey(root, path);
    ASSERT_EQ(RegSetKeyValueA(root, Subkey(root, path).c_str(), name.c_str(), type, data.data(),
                              static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
  }
  void SetString(const std::string& path, const std::string& name, const std::string& text,
                 HKEY root = HKEY_LOCAL_MACHINE) {
    Set(path, name, REG_SZ, text + '\0', root);
  }
  void RemoveValue(const std::string& path, const std::string& name) {
    ASSERT_EQ(RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, Subkey(HKEY_LOCAL_MACHINE, path).c_str(),
                                 name.c_str()),
              ERROR_SUCCESS);
  }

  std::string Snapshot(const std::string& extension,
                       const engines::TrackedList& ignored = engines::TrackedList()) {
    std::string path = folder_ / ("REG$$$$$" + extension);
    engines::SnapshotRegistryFrom(
        path,
        {{HKEY_USERS, "HKEY_USERS", "\\.Default\\Software\\" + name_},
         {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "\\Software\\" + name_}},
        ignored, nullptr, nullptr);
    return path;
  }
  // The lines below this test's HKEY_LOCAL_MACHINE key.
  Lines MachineLines(const std::string& listing) {
    Lines lines = ReadLines(listing);
    auto at = std::find(lines.begin(), lines.end(), "20" + name_);
    EXPECT_NE(at, lines.end());
    return at == lines.end() ? Lines() : Lines(at + 1, lines.end());
  }

  testing_support::TempFolder folder_;
  std::string name_, machinePath_, usersPath_;
};

}  // namespace

TEST_F(RegistryTest, ListingFormatToTheByte) {
  SetString("", "", "default");
  SetString("", "t\tab\x01", "a\tb\nc");
  Set("", "s00", REG_SZ, "");
  Set("", "s02", REG_SZ, std::string(254, 'y') + '\0');
  Set("", "s03", REG_SZ, std::string(255, 'y') + '\0');
  Set("", "s04", REG_EXPAND_SZ, std::string("%x%\0", 4));
  Set("", "s05", REG_SZ, std::string(32766, 'z') + '\0');
  Set("", "s06", REG_SZ, std::string(32767, 'z') + '\0');
  Set("", "n01", REG_DWORD, "\xFF\xFF\xFF\xFF");
  Set("", "n02", REG_DWORD, "\x01\xAB");
  Set("", "n03", REG_DWORD, "");
  Set("", "n04", REG_DWORD_BIG_ENDIAN, std::string("\0\0\x01\x02", 4));
  Set("", "n05", REG_DWORD, std::string("\x07\0\0\0", 4) + std::string(39996, 'q'));
  Set("", "b01", REG_BINARY, "");
  Set("", "b02", REG_BINARY, std::string("\x01\xAB\0", 3));
  Set("", "b03", REG_BINARY, "0123456789abcdef");
  Set("", "b04", REG_BINARY,
      std::string("\0\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F\x10", 17));
  Set("", "b05", REG_BINARY, std::string(40000, 'b'));
  Set("", "o01", REG_NONE, "");
  Set("", "o02", REG_MULTI_SZ, "");
  Set("", "o03", REG_MULTI_SZ, std::string("a\0b\0\0", 5));
  Set("", "o04", 0xFFFF0007, "\x01\x02");
  Set("", "o05", 0xFFFF0007, "");
  Set("", "o06", 14, "");
  CreateKey(HKEY_LOCAL_MACHINE, "Zed");
  CreateKey(HKEY_LOCAL_MACHINE, "coop");
  CreateKey(HKEY_LOCAL_MACHINE, "co-op");
  CreateKey(HKEY_LOCAL_MACHINE, "_a");
  CreateKey(HKEY_LOCAL_MACHINE, "k\nl");
  // Names at the registry's limits: 255 characters for a key, 16,383 for a value.
  const std::string longKey = "L" + std::string(254, 'x');
  const std::string longValue(16383, 'v');
  CreateLongKey(longKey);

  const std::string fold255 = "00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,79";
  const std::string fold32767 = "00,00,00,00,00,00,00,00,00,00,00,00,00,00,7A,7A";
  const std::string tooLarge = "Binary data over 32K - changes not tracked";
  ExpectLines(MachineLines(Snapshot(".$$1")),
              Lines({"31@",          "43default",
                     "31b01",        "45",
                     "31b02",        "4501,AB,00",
                     "31b03",        "4530,31,32,33,34,35,36,37,38,39,61,62,63,64,65,66",
                     "31b04",        "4E10,01,02,03,04,05,06,07,08,09,0A,0B,0C,0D,0E,0F",
                     "31b05",        "45" + tooLarge,
                     "31n01",        "46-1",
                     "31n02",        "4601,AB",
                     "31n03",        "46",
                     "31n04",        "47258",
                     "31n05",        "467",
                     "31o01",        "42",
                     "31o02",        "49",
                     "31o03",        "4561,00,62,00,00",
                     "31o04",        "4501,02",
                     "31o05",        "45",
                     "31o06",        "4@",
                     "31s00",        "43",
                     "31s02",        "43" + std::string(254, 'y'),
                     "31s03",        "4C" + fold255,
                     "31s04",        "44%x%",
                     "31s05",        "4C" + fold32767,
                     "31s06",        "43" + tooLarge,
                     "31t.ab.",      "43a b c",
                     "30_a",         "30coop",
                     "30co-op",      "30k.l",
                     "30" + longKey, "41" + longValue,
                     "53long",       "30Zed"}));
}

TEST_F(RegistryTest, IdenticalListingsAndANewKeyWithTwoValues) {
  SetString("Keep", "v", "1", HKEY_USERS);
  SetString("Keep", "v", "1");
  std::string before = Snapshot(".$$1");
  Changes same = Compare(before, Snapshot(".$$2"));
  for (ResultList* list : {&same.keysAdded, &same.keysDeleted, &same.valuesChanged,
                           &same.valuesAdded, &same.valuesDeleted})
    EXPECT_TRUE(list->empty());

  SetString("Keep\\New", "one", "1", HKEY_USERS);
  Set("Keep\\New", "two", REG_DWORD, std::string("\x02\0\0\0", 4), HKEY_USERS);
  Changes c = Compare(before, Snapshot(".$$2"));
  const std::string added = usersPath_ + "\\Keep\\New";
  ASSERT_EQ(c.keysAdded.size(), 1u);
  EXPECT_EQ(c.keysAdded[0].text, added);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(c.keysAdded[0].item));
  ASSERT_EQ(c.valuesAdded.size(), 2u);
  EXPECT_EQ(c.valuesAdded[0].text, added);
  EXPECT_EQ(c.valuesAdded[1].text, added);
  const RegObject& one = Object(c.valuesAdded[0]);
  EXPECT_EQ(one.valueType, REG_SZ);
  EXPECT_EQ(one.processId, 0u);
  EXPECT_EQ(one.valueName, "one");
  EXPECT_EQ(one.newData, "1");
  EXPECT_EQ(one.oldData, "");
  EXPECT_EQ(Object(c.valuesAdded[1]).valueType, REG_DWORD);
  EXPECT_EQ(Object(c.valuesAdded[1]).newData, "2");
  EXPECT_TRUE(c.keysDeleted.empty() && c.valuesChanged.empty() && c.valuesDeleted.empty());

  // The other way round everything is deleted.
  Changes back = Compare(Snapshot(".$$2"), before);
  ASSERT_EQ(back.keysDeleted.size(), 1u);
  EXPECT_EQ(back.keysDeleted[0].text, added);
  ASSERT_EQ(back.valuesDeleted.size(), 2u);
  EXPECT_EQ(Object(back.valuesDeleted[0]).newData, "1");
}

TEST_F(RegistryTest, ChangedValuesFoldedLargeAndDefault) {
  std::string bytes20(20, '\x11');
  SetString("", "", "a");
  Set("", "bin", REG_BINARY, bytes20);
  Set("", "huge", REG_BINARY, std::string(40000, 'h'));
  SetString("", "text", "Same");
  std::string before = Snapshot(".$$1");

  SetString("", "", "b");
  Set("", "huge", REG_BINARY, std::string(40000, 'H'));
  SetString("", "text", "same");  // a change of case is a change
  std::string changed0 = bytes20;
  changed0[0] = '\x12';
  Set("", "bin", REG_BINARY, changed0);
  Changes c = Compare(before, Snapshot(".$$2"));
  ASSERT_EQ(c.valuesChanged.size(), 3u);
  EXPECT_EQ(c.valuesChanged[0].text, machinePath_);
  const RegObject& def = Object(c.valuesChanged[0]);
  EXPECT_EQ(def.valueName, "@");
  EXPECT_EQ(def.valueType, REG_SZ);
  EXPECT_EQ(def.newData, "b");
  EXPECT_EQ(def.oldData, "a");
  const RegObject& bin = Object(c.valuesChanged[1]);
  EXPECT_EQ(bin.valueName, "bin");
  EXPECT_EQ(bin.valueType, REG_BINARY);
  EXPECT_EQ(bin.newData, "(changed)");
  EXPECT_EQ(bin.oldData, "(data too large)");
  EXPECT_EQ(Object(c.valuesChanged[2]).valueName, "text");
  EXPECT_EQ(Object(c.valuesChanged[2]).newData, "same");

  std::string changed16 = bytes20;
  changed16[16] = '\x00';
  Set("", "bin", REG_BINARY, changed16);
  c = Compare(before, Snapshot(".$$2"));
  ASSERT_EQ(c.valuesChanged.size(), 3u);
  EXPECT_EQ(Object(c.valuesChanged[1]).newData, "(changed)");

  // Bytes 0 and 16 swapped fold to the same text.
  std::string swapped = bytes20;
  swapped[0] = '\x01';
  swapped[16] = '\x02';
  Set("", "bin", REG_BINARY, swapped);
  std::string swappedBefore = Snapshot(".$$1");
  swapped[0] = '\x02';
  swapped[16] = '\x01';
  Set("", "bin", REG_BINARY, swapped);
  c = Compare(swappedBefore, Snapshot(".$$2"));
  EXPECT_TRUE(c.valuesChanged.empty());
}

// Installers turn path values expandable and write numbers where text stood: the text may
// stay the same. Data folded on one side only shows no bytes as if they were the data.
TEST_F(RegistryTest, KindChangesAndDataFoldedOnOneSide) {
  const struct {
    const char* name;
    DWORD typeBefore;
    std::string before;
    DWORD typeAfter;
    std::string after;
    std::string newData, oldData;
  } cases[] = {
      {"number", REG_SZ, std::string("1\0", 2), REG_DWORD, std::string("\1\0\0\0", 4), "1", "1"},
      {"path", REG_SZ, std::string("c:\\x\0", 5), REG_EXPAND_SZ, std::string("c:\\x\0", 5),
       "c:\\x", "c:\\x"},
      {"grown", REG_SZ, std::string("short\0", 6), REG_SZ, std::string(300, 'g') + '\0',
       "(changed)", "(data too large)"},
      {"shrunk", REG_SZ, std::string(300, 's') + '\0', REG_SZ, std::string("s\0", 2),
       "(changed)", "(data too large)"},
  };
  for (const auto& c : cases) Set("", c.name, c.typeBefore, c.before);
  std::string before = Snapshot(".$$1");
  for (const auto& c : cases) Set("", c.name, c.typeAfter, c.after);
  Changes changes = Compare(before, Snapshot(".$$2"));
  ASSERT_EQ(changes.valuesChanged.size(), std::size(cases));
  for (const engines::ListEntry& entry : changes.valuesChanged) {
    const RegObject& value = Object(entry);
    auto c = std::find_if(std::begin(cases), std::end(cases),
                          [&](const auto& c) { return value.valueName == c.name; });
    ASSERT_NE(c, std::end(cases)) << value.valueName;
    EXPECT_EQ(value.valueType, static_cast<int32_t>(c->typeBefore)) << c->name;
    EXPECT_EQ(value.newData, c->newData) << c->name;
    EXPECT_EQ(value.oldData, c->oldData) << c->name;
  }
}

TEST_F(RegistryTest, IgnoredKeysInAnyCaseAndIgnoredRoot) {
  SetString("Old", "v", "1");
  engines::TrackedList ignored;
  engines::AddToTrackedList(ignored, "hkey_users");
  engines::AddToTrackedList(ignored, machinePath_ + "\\OLD");
  engines::AddToTrackedList(ignored, machinePath_ + "\\made\\by\\setup");
  std::string before = Snapshot(".$$1", ignored);
  Lines lines = ReadLines(before);
  EXPECT_EQ(Lines(lines.begin(), lines.begin() + 4),
            Lines({"00HKEY_USERS", "00HKEY_LOCAL_MACHINE", "10Software", "20" + name_}));
  EXPECT_EQ(MachineLines(before), Lines({"30Old"}));

  SetString("Old\\Inner", "w", "2");
  SetString("Made\\By\\SETUP\\Deep", "x", "3");
  SetString("Made\\By\\SETUP", "y", "4");
  Changes c = Compare(before, Snapshot(".$$2", ignored));
  Lines added;
  for (const auto& entry : c.keysAdded) added.push_back(entry.text);
  EXPECT_EQ(added, Lines({machinePath_ + "\\Made", machinePath_ + "\\Made\\By",
                          machinePath_ + "\\Made\\By\\SETUP"}));
  EXPECT_TRUE(c.valuesAdded.empty());
}

TEST_F(RegistryTest, DeletedValueBesideAKeptSubkeyAndTheLastRecords) {
  SetString("", "zz", "gone");
  CreateKey(HKEY_LOCAL_MACHINE, "aa");
  SetString("zz", "last", "before");
  std::string before = Snapshot(".$$1");
  RemoveValue("", "zz");
  RemoveValue("zz", "last");
  SetString("zz", "latest", "after");
  Changes c = Compare(before, Snapshot(".$$2"));
  EXPECT_TRUE(c.keysAdded.empty() && c.keysDeleted.empty() && c.valuesChanged.empty());
  ASSERT_EQ(c.valuesDeleted.size(), 2u);
  EXPECT_EQ(c.valuesDeleted[0].text, machinePath_);
  EXPECT_EQ(Object(c.valuesDeleted[0]).valueName, "zz");
  EXPECT_EQ(Object(c.valuesDeleted[0]).newData, "gone");
  EXPECT_EQ(Object(c.valuesDeleted[1]).valueName, "last");
  ASSERT_EQ(c.valuesAdded.size(), 1u);
  EXPECT_EQ(c.valuesAdded[0].text, machinePath_ + "\\zz");
  EXPECT_EQ(Object(c.valuesAdded[0]).valueName, "latest");
}

// The default value is written as "@", which sorts after names such as "!x"; ordered by
// its empty name instead, the merge would report both values as changed places.
TEST_F(RegistryTest, DefaultValueBesidePunctuatedNames) {
  SetString("", "", "d");
  SetString("", "!x", "1");
  SetString("", "#y", "2");
  std::string before = Snapshot(".$$1");
  RemoveValue("", "");
  Changes c = Compare(before, Snapshot(".$$2"));
  EXPECT_TRUE(c.valuesAdded.empty());
  ASSERT_EQ(c.valuesDeleted.size(), 1u);
  EXPECT_EQ(Object(c.valuesDeleted[0]).valueName, "@");
}

// A value named "@" (or "@@") is written with one "@" more, so that it stands beside the
// default value, "@", as a value of its own: listed, compared and changed on its own.
TEST_F(RegistryTest, ValuesNamedWithAtSignsBesideTheDefaultValue) {
  const struct {
    std::string name, written;
  } values[] = {{"", "@"}, {"@", "@@"}, {"@@", "@@@"}};
  for (const auto& value : values) SetString("", value.name, "old " + value.written);
  const std::string before = Snapshot(".$$1");
  ExpectLines(MachineLines(before),
              Lines({"31@", "43old @", "31@@", "43old @@", "31@@@", "43old @@@"}));

  for (const auto& value : values) {
    SetString("", value.name, "new");
    Changes changed = Compare(before, Snapshot(".$$2"));
    ASSERT_EQ(changed.valuesChanged.size(), 1u) << value.written;
    EXPECT_EQ(Object(changed.valuesChanged[0]).valueName, value.written);
    EXPECT_EQ(Object(changed.valuesChanged[0]).oldData, "old " + value.written);
    RemoveValue("", value.name);
    Changes deleted = Compare(before, Snapshot(".$$2"));
    EXPECT_TRUE(deleted.valuesChanged.empty()) << value.written;
    ASSERT_EQ(deleted.valuesDeleted.size(), 1u) << value.written;
    EXPECT_EQ(Object(deleted.valuesDeleted[0]).valueName, value.written);
    SetString("", value.name, "old " + value.written);
  }
}

TEST_F(RegistryTest, CorruptedListingsStopTheCompare) {
  testing_support::TempFolder folder;
  const std::string good = "00HKEY_USERS\r\n10k\r\n21v\r\n33a\r\n";
  folder.Write("before", good + "21w\r\n33b\r\n");
  const struct {
    const char* name;
    std::string listing;
    unsigned long line;
  } cases[] = {
      {"truncated", good + "21w\r\n", 6},                            // a value without its data
      {"error", good + "21w\r\nERROR GETTING DATA: \\k (w)\r\n", 6},
      {"unended", good + "21w\r\n33b", 6},                          // cut before its line end
      {"lone feed", good + "21w\n33b\r\n", 5},
      {"jump", "00HKEY_USERS\r\n10k\r\n30deep\r\n", 3},           // a "3" right after a "1"
      {"below", "00HKEY_USERS\r\n10k\r\n/0x\r\n", 3},
      {"value in value", good + "31x\r\n43y\r\n", 5},
      {"before any root", "10k\r\n", 1},
      {"root twice", good + "00HKEY_USERS\r\n", 5},
      {"keys out of order", "00HKEY_USERS\r\n10k\r\n10j\r\n", 3},
      {"key twice", "00HKEY_USERS\r\n10k\r\n21v\r\n33a\r\n10k\r\n", 5},
      {"values out of order", good + "21u\r\n33b\r\n", 5},
      {"value after a subkey", good + "20s\r\n21w\r\n33b\r\n", 6},
      {"unknown kind", good + "21w\r\n3\xFF" "b\r\n", 6},
      {"huge", good + "21" + std::string(300000, 'w') + "\r\n33b\r\n", 5},
  };
  for (const auto& damaged : cases) {
    folder.Write(damaged.name, damaged.listing);
    Changes c;
    try {
      engines::CompareRegistrySnapshots(folder / "before", folder / damaged.name, c.keysAdded,
                                        c.keysDeleted, c.valuesChanged, c.valuesAdded,
                                        c.valuesDeleted, nullptr);
      ADD_FAILURE() << damaged.name;
    } catch (const engines::RegistryListingCorrupted& e) {
      EXPECT_EQ(e.Path(), folder / damaged.name);
      EXPECT_EQ(std::string(e.what()), "Stored Registry data corrupted in " + (folder / damaged.name) +
                                           ", line " + std::to_string(damaged.line));
    }
  }
  // Names the comparison holds equal follow their bytes; the default value is "@".
  folder.Write("equal names", "00HKEY_USERS\r\n10k\r\n21@\r\n33\r\n21A\r\n33\r\n21a\r\n33\r\n");
  Changes equal = Compare(folder / "before", folder / "equal names");
  EXPECT_EQ(equal.valuesAdded.size(), 3u);
  // The files were closed: they can be replaced at once.
  EXPECT_TRUE(DeleteFileA((folder / "truncated").c_str()));
}

// Keys that open but cannot be listed (on Wine the performance-text key) keep their line
// inside a walk and stop a walk that starts there.
TEST_F(RegistryTest, KeysThatCannotBeListed) {
  const std::string perflib = "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Perflib\\009";
  std::string path = folder_ / "REG$$$$$.$$1";
  std::string noticed;
  EXPECT_THROW(
      engines::SnapshotRegistryFrom(path, {{HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", perflib}},
                                    engines::TrackedList(), nullptr,
                                    [&](const std::string& listing) { noticed = listing; }),
      platform::RegistryError);
  EXPECT_EQ(noticed, path);
  Lines lines = ReadLines(path);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "ERROR GETTING KEYS/VALUES: " + perflib);
  EXPECT_TRUE(DeleteFileA(path.c_str()));
}

// The whole registry once: the extension is cut to four characters, the walk gets past
// the keys that cannot be listed, and progress reaches the roots' grandchildren only.
TEST_F(RegistryTest, WholeRegistry) {
  SetString("Sub", "v", "1");
  std::vector<std::string> progress;
  engines::SnapshotRegistry(folder_ / "REG$$$$$", ".$$1x", engines::TrackedList(),
                            [&](const std::string& text) { progress.push_back(text); });
  Lines lines = ReadLines(folder_ / "REG$$$$$.$$1");
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "00HKEY_USERS");
  auto machine = std::find(lines.begin(), lines.end(), "00HKEY_LOCAL_MACHINE");
  ASSERT_NE(machine, lines.end());
  auto perflib = std::find(machine, lines.end(), "60009");
  ASSERT_NE(perflib, lines.end());
  EXPECT_LE(static_cast<unsigned char>((*(perflib + 1))[0]), '6');
  auto ours = std::find(machine, lines.end(), "20" + name_);
  ASSERT_NE(ours, lines.end());
  EXPECT_EQ(Lines(ours + 1, ours + 4), Lines({"30Sub", "41v", "531"}));

  EXPECT_NE(std::find(progress.begin(), progress.end(), "HKEY_USERS\\.Default"), progress.end());
  EXPECT_NE(std::find(progress.begin(), progress.end(), machinePath_), progress.end());
  for (const std::string& text : progress) EXPECT_LE(std::count(text.begin(), text.end(), '\\'), 2);
}
