// The undo of a comparison-mode install, from the engines' lists to the machine put back:
// a registry key of the test's own, an INI file named system.ini (so with device lines)
// and a folder of files, each changed between two snapshots as installers change them.
#include "engines/undo.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>

#include "engines/disk.h"
#include "engines/ini.h"
#include "engines/regfile.h"
#include "engines/registry.h"
#include "platform/owners.h"
#include "platform/process.h"
#include "report/undo_record.h"
#include "support/temp_folder.h"

using testing_support::TempFolder;

namespace {

const char kSystemIniBefore[] =
    "[Main]\r\nColour=red\r\nGone=yes\r\n[Old]\r\na=1\r\n"
    "[386Enh]\r\ndevice=*vpicd\r\ndevice=old.386\r\nEMMExclude=C800-CFFF\r\n";

size_t IniItemCount(const engines::UndoData& data) {
  return std::count_if(data.items.begin(), data.items.end(), [](const engines::UndoItem& item) {
    return item.kind >= engines::UndoKind::IniKeyAdded;
  });
}


std::vector<std::string> Texts(const engines::ResultList& list) {
  std::vector<std::string> texts;
  for (const auto& entry : list) texts.push_back(entry.text);
  return texts;
}

std::string Sz(const std::string& text) { return text + '\0'; }
std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

class Undo : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = std::string("Vortan4Undo-") +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
            std::to_string(GetCurrentProcessId());
    keyPath_ = "HKEY_LOCAL_MACHINE\\Software\\" + name_;
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, subkey("").c_str());
    folder.MakeFolder("temp");
    folder.MakeFolder("files");
    ini_ = folder / "win\\system.ini";
    files_ = folder / "files";
    report_ = folder / "RPT_0001.TXT";
  }
  void TearDown() override {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, subkey("").c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, subkey("").c_str());
  }

  std::string subkey(const std::string& path) const {
    return "Software\\" + name_ + (path.empty() ? "" : "\\" + path);
  }
  void Set(const std::string& path, const std::string& name, DWORD type, const std::string& data) {
    ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, subkey(path).c_str(), name.c_str(), type,
                              data.data(), static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
  }
  void Delete(const std::string& path, const std::string& name) {
    ASSERT_EQ(RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, subkey(path).c_str(), name.c_str()),
              ERROR_SUCCESS);
  }
  // The value's bytes; empty when it is missing.
  std::string ValueText(const std::string& path, const std::string& name) const {
    char data[64] = {};
    DWORD size = sizeof data;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, subkey(path).c_str(), name.c_str(), RRF_RT_ANY, nullptr,
                     data, &size) != ERROR_SUCCESS)
      return "";
    return std::string(data, size);
  }
  std::string IniText(const char* section, const char* key) const {
    char text[64] = {};
    GetPrivateProfileStringA(section, key, "", text, sizeof text, ini_.c_str());
    return text;
  }
  void SetIni(const char* section, const char* key, const char* value) {
    ASSERT_TRUE(WritePrivateProfileStringA(section, key, value, ini_.c_str()));
  }

  // What a 1.0 install left, as the new install finds it.
  void PrepareBefore() {
    std::string table;
    for (char c = 0; c < 20; ++c) table += c;
    Set("", "", REG_SZ, Sz("Writer 1.0"));
    Set("", "@", REG_SZ, Sz("at 1.0"));  // a value of its own beside the default one
    Set("", "Version", REG_SZ, Sz("1.0"));
    Set("", "Home", REG_EXPAND_SZ, Sz("%ProgramFiles%\\Old"));
    Set("", "Build", REG_DWORD, Dword(100));
    Set("", "Swapped", REG_DWORD_BIG_ENDIAN, Dword(0x01020304));
    Set("", "Mask", REG_BINARY, "\x01\x02");
    Set("", "Table", REG_BINARY, table);  // over 16 bytes: the listing holds a digest
    Set("", "Quote", REG_SZ, Sz("say \"hi\" \\ bye"));
    Set("", "Keep", REG_SZ, Sz("yes"));
    Set("Legacy", "Mode", REG_SZ, Sz("compat"));
    Set("Legacy\\Cache", "", REG_SZ, Sz("idx"));
    folder.Write("win\\system.ini", kSystemIniBefore);
    folder.Write("files\\keep.txt", "keep");
    folder.Write("files\\changed.txt", "1.0");
    folder.Write("files\\gone.txt", "gone");
  }

  // The install: every kind of change.
  void Install() {
    std::string table;
    for (char c = 0; c < 20; ++c) table += static_cast<char>(c + 1);
    Set("", "", REG_SZ, Sz("Writer 2.0"));
    Set("", "@", REG_SZ, Sz("at 2.0"));
    Set("", "@@", REG_SZ, Sz("at at"));
    Set("", "Version", REG_SZ, Sz("2.0"));
    Set("", "Build", REG_DWORD, Dword(200));
    Set("", "Swapped", REG_DWORD_BIG_ENDIAN, Dword(0x05060708));
    Set("", "Mask", REG_BINARY, "\x03\x04");
    Set("", "Table", REG_BINARY, table);
    Set("", "Quote", REG_SZ, Sz("new"));
    Set("", "Big", REG_BINARY, std::string(40000, 'b'));
    Delete("", "Home");
    Set("Options", "Count", REG_DWORD, Dword(1234));
    Set("Options\\Deep", "Name", REG_SZ, Sz("x"));
    ASSERT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, subkey("Legacy").c_str()), ERROR_SUCCESS);
    SetIni("Main", "Colour", "blue");
    SetIni("Main", "Font", "Arial");
    SetIni("Main", "Gone", nullptr);
    SetIni("Old", nullptr, nullptr);
    SetIni("New Section", "Fresh", "1");
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini_.c_str());
    std::string text = folder.Read("win\\system.ini");
    text.replace(text.find("device=old.386"), 14, "device=new.386");
    folder.Write("win\\system.ini", text);
    folder.Write("files\\New\\Sub\\a.txt", "a");
    folder.Write("files\\b.txt", "b");
    folder.Write("files\\changed.txt", "2.0 longer");
    ASSERT_TRUE(DeleteFileA((files_ + "\\gone.txt").c_str()));
  }

  // Listings of the three places, as the session takes them, with this extension.
  void Snapshot(const std::string& extension) {
    engines::SnapshotRegistryFrom(registry(extension),
                                  {{HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "\\" + subkey("")}},
                                  engines::TrackedList(), nullptr, nullptr);
    engines::SnapshotWatchedIniFiles({ini_}, temp(), extension, nullptr);
    engines::TrackedList roots;
    roots.entries = {engines::LowerAscii(files_)};
    engines::SnapshotDisks(temp() + "VORTAN$$" + extension, roots, nullptr);
  }
  std::string temp() const { return folder / "temp\\"; }
  std::string registry(const std::string& extension) const {
    return temp() + "REG$$$$$" + extension;
  }

  // The lists of the compare of two snapshots: INI, registry, disk.
  struct Compared {
    report::WorkLists ini, registry, disk;
  };
  Compared Compare(const std::string& before, const std::string& after) {
    Compared c;
    auto& i = c.ini;
    engines::CompareIniSnapshots(engines::IniCopyPath(ini_, temp(), before),
                                 engines::IniCopyPath(ini_, temp(), after), i[0], i[1], i[2], i[3],
                                 i[4]);
    engines::CompareSystemIniDevices(temp() + "DEV$$$$$" + before, temp() + "DEV$$$$$" + after,
                                     i[0], i[1], i[2]);
    auto& r = c.registry;
    engines::CompareRegistrySnapshots(registry(before), registry(after), r[0], r[1], r[2], r[3],
                                      r[4], nullptr);
    auto& d = c.disk;
    engines::CompareDiskSnapshots(temp() + "VORTAN$$" + before, temp() + "VORTAN$$" + after, d[0],
                                  d[1], d[2], nullptr);
    return c;
  }

  // Before, the install, after, and the undo data written as the report writes it.
  engines::UndoData TrackInstall() {
    PrepareBefore();
    Snapshot(".$$1");
    Install();
    Snapshot(".$$2");
    Compared c = Compare(".$$1", ".$$2");
    engines::UndoData data;
    data.report = report_;
    data.mode = 3;
    data.watchedFolders = {engines::LowerAscii(files_)};
    report::AddIniUndoItems(data, ini_, c.ini,
                            engines::IniCopyPath(ini_, temp(), engines::kIniBytesExtension));
    report::AddRegistryUndoItems(data, c.registry);
    report::AddDiskUndoItems(data, c.disk);
    report::WriteUndoFiles(data);
    return engines::ReadUndoData(engines::UndoPlacesOf(report_).folder);
  }

  std::vector<std::string> RunUndo(bool overwrite, engines::UndoResult* result = nullptr) {
    std::vector<std::string> log;
    engines::UndoResult got = engines::CarryOutUndo(
        engines::PlanUndo(engines::ReadUndoData(engines::UndoPlacesOf(report_).folder)), overwrite,
        [&](const std::string& line) { log.push_back(line); });
    if (result) *result = got;
    return log;
  }

  // Imports a REGEDIT4 file as a person would, with the registry editor.
  static void Import(const std::string& file) {
    platform::StartedProcess editor =
        platform::StartProcess("regedit.exe /s \"" + file + "\"", "", 0);
    ASSERT_TRUE(editor.process) << editor.error;
    WaitForSingleObject(editor.process.get(), INFINITE);
  }

  TempFolder folder;
  std::string name_, keyPath_, ini_, files_, report_;
};

bool Has(const std::vector<std::string>& log, const std::string& line) {
  return std::find(log.begin(), log.end(), line) != log.end();
}

TEST_F(Undo, PutsBackWhatTheDataHoldsAndListsTheRest) {
  const engines::UndoData data = TrackInstall();
  engines::UndoResult result;
  const std::vector<std::string> log = RunUndo(false, &result);
  Snapshot(".$$3");
  Compared c = Compare(".$$1", ".$$3");
  for (const auto& list : c.ini) EXPECT_EQ(Texts(list), std::vector<std::string>()) << "INI";
  // The folded value alone stays as the install left it.
  EXPECT_EQ(Texts(c.registry[0]), std::vector<std::string>());
  EXPECT_EQ(Texts(c.registry[1]), std::vector<std::string>());
  EXPECT_EQ(Texts(c.registry[2]), std::vector<std::string>{keyPath_});
  EXPECT_EQ(std::get<engines::RegObject>(c.registry[2][0].item).valueName, "Table");
  EXPECT_EQ(Texts(c.registry[3]), std::vector<std::string>());
  EXPECT_EQ(Texts(c.registry[4]), std::vector<std::string>());
  // Files: the added ones are gone; the old contents cannot come back.
  const std::string root = engines::LowerAscii(files_);
  EXPECT_EQ(Texts(c.disk[0]), std::vector<std::string>());
  EXPECT_EQ(Texts(c.disk[1]), std::vector<std::string>{root + "\\gone.txt"});
  EXPECT_EQ(Texts(c.disk[2]), std::vector<std::string>{root + "\\changed.txt"});
  EXPECT_TRUE(Has(log, "cannot restore: file " + root +
                           "\\gone.txt (the report keeps no copy of a deleted file)"));
  EXPECT_TRUE(Has(log, "cannot restore: value " + keyPath_ +
                           " Table (the report holds only a digest of the old data)"));
  EXPECT_TRUE(Has(log, "removed: folder " + root + "\\New"));
  // The INI file as the install left it goes back byte for byte, its line order too.
  EXPECT_TRUE(Has(log, "restored: INI file " + ini_));
  EXPECT_EQ(folder.Read("win\\system.ini"), kSystemIniBefore);
  // The default value and the value named "@" each have their own data back.
  EXPECT_EQ(ValueText("", ""), Sz("Writer 1.0"));
  EXPECT_EQ(ValueText("", "@"), Sz("at 1.0"));
  EXPECT_EQ(ValueText("", "@@"), "");
  EXPECT_EQ(result.cannot, 3);
  EXPECT_EQ(result.left + result.failed, 0);
  EXPECT_FALSE(result.Complete());
  EXPECT_EQ(log.size(), data.items.size() - IniItemCount(data) + 1);
}

// The REG files, imported with the registry editor, give the registry the undo gives.
TEST_F(Undo, RegEditFilesMatchTheUndo) {
  TrackInstall();
  const engines::UndoPlaces places = engines::UndoPlacesOf(report_);
  Import(places.undoReg);
  Snapshot(".$$4");
  Import(places.redoReg);
  Snapshot(".$$5");
  Compared redone = Compare(".$$2", ".$$5");
  for (const auto& list : redone.registry)
    EXPECT_EQ(Texts(list), std::vector<std::string>()) << "the redo file";
  RunUndo(false);
  Snapshot(".$$6");
  Compared same = Compare(".$$4", ".$$6");
  for (const auto& list : same.registry)
    EXPECT_EQ(Texts(list), std::vector<std::string>()) << "the undo file against the undo";
  const std::string undo = engines::RegEditText(engines::ReadUndoData(places.folder), false);
  EXPECT_NE(undo.find("; \"Table\": the report holds only a digest"), std::string::npos) << undo;
  for (const char* line : {"\r\n@=\"Writer 1.0\"\r\n", "\r\n\"@\"=\"at 1.0\"\r\n", "\r\n\"@@\"=-\r\n"})
    EXPECT_NE(undo.find(line), std::string::npos) << line << undo;
}

// What changed after the report is left alone, and listed, unless the user says so.
TEST_F(Undo, ItemsChangedSinceAreLeftUnlessOverwritten) {
  TrackInstall();
  const std::string root = engines::LowerAscii(files_);
  struct Case {
    std::string logged;
    std::function<void()> change;
    std::function<bool()> undone;  // as before the install
  };
  const std::vector<Case> cases = {
      {"value " + keyPath_ + " Version", [&] { Set("", "Version", REG_SZ, Sz("2.1")); },
       [&] { return ValueText("", "Version") == Sz("1.0"); }},
      {"value " + keyPath_ + "\\Options Count", [&] { Set("Options", "Count", REG_DWORD, Dword(5)); },
       [&] { return ValueText("Options", "Count").empty(); }},
      {"file " + root + "\\b.txt", [&] { folder.Write("files\\b.txt", "edited"); },
       [&] { return GetFileAttributesA((files_ + "\\b.txt").c_str()) == INVALID_FILE_ATTRIBUTES; }},
      {"key [Main]Colour of " + ini_, [&] { SetIni("Main", "Colour", "green"); },
       [&] { return IniText("Main", "Colour") == "red"; }},
      {"key [Main]Gone of " + ini_, [&] { SetIni("Main", "Gone", "again"); },
       [&] { return IniText("Main", "Gone") == "yes"; }},
  };
  for (const Case& c : cases) c.change();
  engines::UndoResult result;
  std::vector<std::string> log = RunUndo(false, &result);
  for (const Case& c : cases) {
    EXPECT_TRUE(Has(log, "left, changed since the report: " + c.logged)) << c.logged;
    EXPECT_FALSE(c.undone()) << c.logged;
  }
  EXPECT_EQ(result.left, static_cast<int>(cases.size()) + 1);
  // The folder of the added files holds nothing else, so it went; the key of the value
  // changed since stays, as it holds that value.
  EXPECT_TRUE(Has(log, "left, it holds keys or values the install did not make: key " + keyPath_ +
                           "\\Options"));

  log = RunUndo(true, &result);
  for (const Case& c : cases) EXPECT_TRUE(c.undone()) << c.logged;
  EXPECT_EQ(result.left + result.failed, 0);
}

// Undo data that cannot be trusted changes nothing: the reader names the file and line.
TEST_F(Undo, DamagedDataIsRefusedWithItsLine) {
  TrackInstall();
  const std::string items = engines::UndoPlacesOf(report_).folder + "\\ITEMS.TXT";
  const std::string good = folder.Read("RPT_0001.UND\\ITEMS.TXT");
  const size_t firstItem = good.find("FILE");
  const size_t endLine = good.rfind("end=");
  ASSERT_NE(firstItem, std::string::npos);
  auto line = [&](size_t at) {
    return std::to_string(std::count(good.begin(), good.begin() + at, '\n') + 1);
  };
  struct Case {
    std::string name, text, message;
  };
  std::string flipped = good;  // still a sound line: only the checksum tells
  flipped.replace(flipped.find("RPT_0001.TXT"), 12, "RPT_0002.TXT");
  std::string version = good;
  version.replace(version.find("version=3"), 9, "version=9");
  std::string unfinished = good.substr(0, endLine);
  const std::vector<Case> cases = {
      {"cut short", good.substr(0, firstItem), "line " + line(firstItem) + ": the data is cut short"},
      {"no end line", unfinished, "the data is cut short"},
      {"damaged byte", flipped, "the data is damaged (checksum)"},
      {"newer version", version, "line 2: version 9 is not one this program reads"},
      {"no line end", good.substr(0, good.size() - 1), ": damaged line"},
      {"not undo data", "REGEDIT4\r\n", "line 1: this is not undo data"},
  };
  for (const Case& c : cases) {
    folder.Write("RPT_0001.UND\\ITEMS.TXT", c.text);
    try {
      engines::ReadUndoData(engines::UndoPlacesOf(report_).folder);
      ADD_FAILURE() << c.name << ": accepted";
    } catch (const engines::UndoDataError& error) {
      const std::string message = error.what();
      EXPECT_EQ(message.find(items), 0u) << c.name << ": " << message;
      EXPECT_NE(message.find(c.message), std::string::npos) << c.name << ": " << message;
    }
  }
}

// Paths and keys that the install could not have touched are refused, whatever the checksum.
TEST_F(Undo, ItemsOutsideTheWatchedPlacesAreRefused) {
  struct Case {
    engines::UndoKind kind;
    std::string place, message, copy;
  };
  const std::string root = engines::LowerAscii(files_);
  const std::vector<Case> cases = {
      {engines::UndoKind::FileAdded, "c:\\windows\\win.ini", "lies outside the watched folders", ""},
      {engines::UndoKind::FileAdded, root + "\\..\\x", "lies outside the watched folders", ""},
      // Every form the system takes for the same place is judged as the system takes it.
      {engines::UndoKind::FileAdded, root + "\\x/../../windows/win.ini", "lies outside", ""},
      {engines::UndoKind::FileChanged, root + "\\x\\.\\..\\..\\y", "lies outside", ""},
      {engines::UndoKind::FileAdded, root + " .\\..\\..\\x", "lies outside", ""},
      {engines::UndoKind::FileAdded, "c:\\..\\x", "not a plain path", ""},
      {engines::UndoKind::FileAdded, "\\\\?\\" + root + "\\x", "not a plain path", ""},
      {engines::UndoKind::FileAdded, "\\\\.\\" + root + "\\x", "not a plain path", ""},
      {engines::UndoKind::FileAdded, "\\\\server\\share\\x", "not a plain path", ""},
      {engines::UndoKind::FileAdded, "x\\y", "not a plain path", ""},
      {engines::UndoKind::FileAdded, root + "\\nul.txt", "not a plain path", ""},
      {engines::UndoKind::FileAdded, root + "\\COM1", "not a plain path", ""},
      {engines::UndoKind::FileAdded, root + "\\x:stream", "not a plain path", ""},
      {engines::UndoKind::IniFileCopy, "c:\\windows\\win.ini", "is not a watched one", ""},
      {engines::UndoKind::FolderAdded, root, "lies outside the watched folders", ""},
      {engines::UndoKind::KeyAdded, "HKEY_CURRENT_USER\\Software\\x", "is not one below HKEY_USERS", ""},
      {engines::UndoKind::KeyAdded, "HKEY_LOCAL_MACHINE", "is not one below HKEY_USERS", ""},
      {engines::UndoKind::IniKeyAdded, "c:\\windows\\win.ini", "is not a watched one", ""},
      // A copy is named by its stem alone: nothing else may stand there.
      {engines::UndoKind::FileDeleted, root + "\\x", "damaged copy", "c:\\..\\WIN.DAT"},
  };
  for (const Case& c : cases) {
    engines::UndoData data;
    data.report = report_;
    data.mode = 3;
    data.watchedFolders = {root};
    data.watchedInis = {ini_};
    engines::UndoItem item;
    item.kind = c.kind;
    item.place = c.place;
    item.name = "[Main]Colour";
    item.copy.copy = c.copy;
    data.items = {engines::UndoItem{}, item};
    data.items[0].place = root + "\\fine.txt";
    engines::WriteUndoData(engines::UndoPlacesOf(report_).folder, data);
    try {
      engines::ReadUndoData(engines::UndoPlacesOf(report_).folder);
      ADD_FAILURE() << c.place << ": accepted";
    } catch (const engines::UndoDataError& error) {
      EXPECT_NE(std::string(error.what()).find("line 9: "), std::string::npos) << error.what();
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
    }
  }
}

// The reader takes all the writer writes: registry data and names of any size the
// registry allows, paths of 32,767 characters.
TEST_F(Undo, EverythingWrittenIsReadAtTheLimits) {
  const std::string root = engines::LowerAscii(files_);
  std::string path = root;
  while (path.size() < 32767 - 256) path += "\\" + std::string(250, '%');
  path += "\\" + std::string(32767 - path.size() - 1, 'p');
  std::string big(1536 * 1024, '\0'), name(16383, '\t');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  for (size_t i = 0; i < name.size(); i += 3) name[i] = '%';
  engines::UndoData data;
  data.report = report_;
  data.mode = 1;
  data.watchedFolders = {root};
  data.items = {engines::MakeUndoItem(engines::UndoKind::ValueChanged, keyPath_, name),
                engines::MakeUndoItem(engines::UndoKind::ValueAdded, keyPath_, "@"),
                engines::MakeUndoItem(engines::UndoKind::FileAdded, path)};
  data.items[0].before = {true, REG_BINARY, big};
  data.items[0].after = {true, REG_SZ, std::string(32 * 1024 + 1, 'a')};
  data.items[1].after = {true, REG_SZ, std::string(32 * 1024, 'b')};
  engines::WriteUndoData(engines::UndoPlacesOf(report_).folder, data);
  const engines::UndoData read = engines::ReadUndoData(engines::UndoPlacesOf(report_).folder);
  ASSERT_EQ(read.items.size(), data.items.size());
  for (size_t i = 0; i < data.items.size(); ++i) {
    EXPECT_EQ(read.items[i].place, data.items[i].place) << i;
    EXPECT_EQ(read.items[i].name, data.items[i].name) << i;
    EXPECT_EQ(read.items[i].before.data, data.items[i].before.data) << i;
    EXPECT_EQ(read.items[i].after.data, data.items[i].after.data) << i;
    EXPECT_EQ(read.items[i].after.type, data.items[i].after.type) << i;
  }
}

}  // namespace
