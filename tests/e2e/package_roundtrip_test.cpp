// The package round trip, run in two stages by tests/e2e/package_roundtrip.sh, each in a
// fresh prefix: "record" tracks the sample install and makes its package with
// "VORTAN4.EXE /PACKAGE" into C:\pkgtest; the script builds setup.nsi with makensis and
// setup.wxs with wixl; "replay" tracks the built package, installed without questions on
// the same prepared 1.0 install, and its report must list the original's changes, but for
// what the package says it left out and the package's own uninstaller and entry; then the
// same for the Windows Installer package, as far as files, folders and values go.
// HostilePackage does the same for names and data that each format must escape or
// cannot say at all.
#include <cstdlib>

#include "engines/package.h"
#include "engines/undo_data.h"
#include "platform/changes.h"
#include "platform/directory.h"
#include "platform/system.h"
#include "sample_install.h"

namespace e2e {
namespace {

const char kStage[] = "C:\\pkgtest\\";
const char kPackage[] = "C:\\pkgtest\\package";

// What the package leaves out: what changed after the report (the test changes it).
const std::vector<std::string> kChangedSince = {R"(\\Read Me\.txt$)", R"(\\Options Name=)"};
// The package's own: its uninstaller, its folder and its uninstall entry, named after the
// installation's description (a quote cannot be in a folder's name).
const char kPackageName[] = "Brindle Writer 2.0 _update_ package";
const std::vector<std::string> kPackagesOwn = {
    R"(^c:\\program files(\\Brindle Writer 2\.0 _update_ package.*)?$)",
    R"(^HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall(\\Brindle Writer 2\.0 _update_ package.*)?$)"};

std::vector<std::string> Joined(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class PackageRoundTrip : public SampleInstall {
 protected:
  // What Wine changes in any session stays out of the package: its volatile keys cannot
  // be made again by an installer.
  void SetUp() override {
    SampleInstall::SetUp();
    const char* wine[] = {"hkey_users\\s-1-5-21-0-0-0-1000\\software\\wine",
                          "hkey_local_machine\\system\\currentcontrolset\\control\\video",
                          "hkey_local_machine\\system\\currentcontrolset\\control\\class",
                          "hkey_local_machine\\system\\currentcontrolset\\control\\servicecurrent"};
    for (int i = 0; i < 4; ++i)
      WritePrivateProfileStringA("Regs", std::to_string(i + 1).c_str(), wine[i], (folder / "VORTAN4.INI").c_str());
  }
  // The report's blocks of these headings only.
  static std::vector<Block> Blocks(const std::string& report, const std::vector<std::string>& headings) {
    std::vector<Block> kept;
    for (const Block& block : ParseTextReport(report).blocks)
      for (const std::string& heading : headings)
        if (block.heading.compare(0, heading.size(), heading) == 0) kept.push_back(block);
    return kept;
  }
};

TEST_F(PackageRoundTrip, ThePackageMakesTheSameChanges) {
  const char* stage = std::getenv("VORTAN4_PACKAGE_STAGE");
  if (!stage) GTEST_SKIP() << "tests/e2e/package_roundtrip.sh runs this test in its stages";
  const std::string original = std::string(kStage) + "original.txt";
  if (std::string(stage) == "record") {
    testing_support::RemoveTree(kStage);
    RunSession("win98", IDC_rbTmDisk);
    WriteBytes(std::string(kInstall) + "\\Writer\\Read Me.txt", "changed since the report");
    SetValue(HKEY_LOCAL_MACHINE, "Software\\Brindle\\Writer\\Options", "Name", REG_SZ, Sz("Changed"));
    // Nothing written: no report, or a folder that cannot be made (below a file).
    EXPECT_EQ(gui::App(exe, "/PACKAGE " + folder / "RPT_0009.TXT " + kPackage).WaitExit(), 2);
    EXPECT_EQ(gui::App(exe, "/PACKAGE " + folder / "RPT_0000.TXT " + folder / "RPT_0000.TXT\\p").WaitExit(), 2);
    EXPECT_EQ(GetFileAttributesA(kPackage), INVALID_FILE_ATTRIBUTES);
    // With the window open, as the command leaves it alone.
    EXPECT_EQ(gui::App(exe, "/PACKAGE " + folder / "RPT_0000.TXT " + kPackage).WaitExit(), 1);
    const std::string readme = ReadBytes(std::string(kPackage) + "\\README.TXT");
    for (const char* named : {"line [386Enh]device=C:\\windows\\system\\brwrt.386 of c:\\windows\\system.ini",
                              "line [386Enh]device=C:\\windows\\system\\brold.386 of c:\\windows\\system.ini",
                              "file c:\\program files\\Brindle\\Writer\\Read Me.txt: changed since the report",
                              "value HKEY_LOCAL_MACHINE\\Software\\Brindle\\Writer\\Options Name: changed since"})
      EXPECT_NE(readme.find(named), std::string::npos) << named << "\n" << readme;
    // Told to, the package takes what changed since the report as it is now.
    const std::string asNow = std::string(kStage) + "as now";
    EXPECT_EQ(gui::App(exe, "/PACKAGE " + folder / "RPT_0000.TXT \"" + asNow + "\" /ASNOW").WaitExit(), 1);
    EXPECT_EQ(ReadBytes(asNow + "\\README.TXT").find("since the report:"), std::string::npos);
    EXPECT_EQ(ReadBytes(asNow + "\\files\\PROGRAMFILES\\Brindle\\Writer\\Read Me.txt"), "changed since the report");
    EXPECT_NE(ReadBytes(asNow + "\\setup.nsi").find("\"Name\" \"Changed\""), std::string::npos);
    WriteBytes(original, folder.Read("RPT_0000.TXT"));
    return;
  }
  RunSession("win98", IDC_rbTmDisk, std::string(kPackage) + "\\setup.exe");
  const Incidental notInThePackage(Joined(kWineChangePatterns, kChangedSince));
  const Incidental notInTheOriginal(Joined(kWineChangePatterns, kPackagesOwn));
  EXPECT_EQ(notInTheOriginal.FilterText(ParseTextReport(folder.Read("RPT_0000.TXT")).blocks),
            notInThePackage.FilterText(ParseTextReport(ReadBytes(original)).blocks));

  // The uninstaller takes away what the install added and leaves what it changed; "_?="
  // runs it where it is, so that the test can wait for it.
  const std::string own = std::string("C:\\Program Files\\") + kPackageName;
  EXPECT_EQ(gui::App(own + "\\uninstall.exe", "/S _?=" + own).WaitExit(), 0);
  for (const char* added : {"Brindle\\Writer\\Help", "Brindle\\Writer\\Empty Folder",
                            "Common Files\\Brindle"})
    EXPECT_EQ(GetFileAttributesA((std::string("C:\\Program Files\\") + added).c_str()),
              INVALID_FILE_ATTRIBUTES) << added;
  EXPECT_EQ(GetFileAttributesA(kSystemDll), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA("C:\\Program Files\\Brindle\\Writer\\writer.dat"), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(platform::OpenRegistryKey(HKEY_LOCAL_MACHINE, "Software\\Brindle\\Writer\\Options", KEY_READ));
  EXPECT_FALSE(platform::OpenRegistryKey(HKEY_CURRENT_USER, "Software\\Brindle", KEY_READ));
  EXPECT_FALSE(platform::OpenRegistryKey(
      HKEY_LOCAL_MACHINE, std::string("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + kPackageName,
      KEY_READ));
  EXPECT_TRUE(platform::OpenRegistryKey(HKEY_LOCAL_MACHINE, "Software\\Brindle\\Writer", KEY_READ));
  char fresh[8] = "";
  GetPrivateProfileStringA("New Section", "Fresh", "gone", fresh, sizeof fresh, kBrindleIni);
  EXPECT_STREQ(fresh, "gone");
  const std::string systemIni = ReadBytes(kSystemIni);
  EXPECT_EQ(systemIni.find("brwrt.386"), std::string::npos) << systemIni;
}

// wixl has no elements for deletions or INI files: the MSI adds and changes files, folders
// and registry values, and the Windows Installer registers the package for itself.
TEST_F(PackageRoundTrip, TheWindowsInstallerPackageAddsTheSameFilesAndValues) {
  const char* stage = std::getenv("VORTAN4_PACKAGE_STAGE");
  if (!stage || std::string(stage) != "replay") GTEST_SKIP() << "the replay stage only";
  RunSession("win98", IDC_rbTmDisk, "C:\\windows\\system32\\msiexec.exe",
             std::string("/i ") + kPackage + "\\setup.msi /qn");
  const std::vector<std::string> added = {"REGISTRY KEYS ADDED", "REGISTRY KEY VALUES ADDED",
                                          "REGISTRY KEY VALUES CHANGED", "FILES AND DIRECTORIES ADDED"};
  const Incidental registration(Joined(kWineChangePatterns, {
      R"(^c:\\windows\\Installer(\\|$))",
      R"(\\Software\\Microsoft\\Windows\\CurrentVersion\\(Installer|Uninstall)(\\|$))",
      R"(\\Software\\Microsoft\\Installer(\\|$))"}));
  EXPECT_EQ(registration.FilterText(Blocks(folder.Read("RPT_0000.TXT"), added)),
            Incidental(Joined(kWineChangePatterns, kChangedSince))
                .FilterText(Blocks(ReadBytes(std::string(kStage) + "original.txt"), added)));
}


// Names and data that each format must escape, or cannot say: made here as an install
// would ("record"), with the undo data of a report that lists them, and packaged; the
// script builds both sources; "replay" installs setup.exe in a fresh prefix and checks
// every item, or that README.TXT lists it as left out of setup.nsi.
class HostilePackage : public Vortan4 {
 protected:
  enum class Kind { File, Folder, Key, Value };
  struct Item {
    Kind kind;
    std::string place;  // below kFiles, or a key below kKey
    std::string name;   // the value's name
    DWORD type;
    std::string data;   // the value's bytes, the file's contents
    bool leftOutOfNsis;
  };
  static constexpr char kStage[] = "C:\\pkghostile";
  static constexpr char kFiles[] = "C:\\pkghostile\\install";
  static constexpr char kKey[] = "Software\\Vortan4 hostile";

  static std::string Long() {  // kFiles + "\\" + this: a folder of 300 characters
    return "deep\\" + std::string(91, '1') + "\\" + std::string(91, '2') + "\\" + std::string(300 - 22 - 5 - 2 * 92, '3');
  }
  static std::vector<Item> Items() {
    const std::string kKeys[] = {"K$\\n", "K${NSISDIR}", "K \"q\" ;#&<", "K$"};
    return {
        {Kind::Folder, "x$", "", 0, "", false},
        {Kind::File, "x$\\n.txt", "", 0, "dollar, backslash", false},
        {Kind::File, "a$b$$c$0.txt", "", 0, "dollars", false},
        {Kind::Folder, "${NSISDIR}", "", 0, "", false},
        {Kind::File, "${NSISDIR}\\$(var.x).txt", "", 0, "a define", false},
        {Kind::File, "back`tick;#&'() .txt", "", 0, "quotes", false},
        {Kind::Folder, " lead", "", 0, "", false},
        {Kind::File, " lead\\ x.txt", "", 0, "spaces", false},
        {Kind::File, "caf\xE9 \x80.txt", "", 0, "ANSI", false},
        {Kind::Folder, "deep", "", 0, "", false},
        {Kind::Folder, Long().substr(0, 5 + 91), "", 0, "", false},
        {Kind::Folder, Long().substr(0, 5 + 92 + 91), "", 0, "", false},
        {Kind::Folder, Long(), "", 0, "", false},
        {Kind::Key, "", "", 0, "", false},
        {Kind::Key, "Empty $\\{", "", 0, "", false},
        {Kind::Key, kKeys[0], "", 0, "", false},
        {Kind::Value, kKeys[0], "$\\n", REG_SZ, Sz("a$\\nb"), false},
        {Kind::Key, kKeys[1], "", 0, "", false},
        {Kind::Value, kKeys[1], "dollars", REG_SZ, Sz("$$ $0 ${NSISDIR} $(var.x) $\\"), false},
        {Kind::Key, kKeys[2], "", 0, "", false},
        {Kind::Value, kKeys[2], "quotes", REG_SZ, Sz("\"q\" 'a' `b` ;c #d &e <f> [g]"), false},
        {Kind::Value, kKeys[2], "  spaces  ", REG_SZ, Sz("  both ends  "), false},
        {Kind::Key, kKeys[3], "", 0, "", false},
        {Kind::Value, kKeys[3], "caf\xE9 \x80", REG_SZ, Sz("d\xE9j\xE0 \x80"), false},
        {Kind::Value, kKeys[3], "nul", REG_SZ, std::string("a\0b\0", 4), false},
        {Kind::Value, kKeys[3], "bell", REG_SZ, std::string("a\x07" "b\0", 4), false},
        {Kind::Value, kKeys[3], "expand", REG_EXPAND_SZ, Sz("%TEMP%\\$x"), false},
        {Kind::Value, kKeys[3], "multi", REG_MULTI_SZ, std::string("a$\0b\\$\0\0", 8), false},
        {Kind::Value, kKeys[3], "tab\tname", REG_SZ, Sz("x\ty\r\nz"), false},
        {Kind::Value, kKeys[3], "ctl\x01", REG_SZ, Sz("v"), true},
    };
  }
  static std::string PathOf(const Item& item) {
    if (item.kind == Kind::File || item.kind == Kind::Folder) return std::string(kFiles) + "\\" + item.place;
    return std::string(kKey) + (item.place.empty() ? "" : "\\" + item.place);
  }
  static std::string Package() { return std::string(kStage) + "\\package"; }
  static std::string Readme() { return ReadBytes(Package() + "\\README.TXT"); }
  static std::string Described(const Item& item) {
    engines::PackageStep step;
    step.action = item.kind == Kind::Value ? engines::PackageAction::SetValue : engines::PackageAction::MakeKey;
    step.path = "HKEY_LOCAL_MACHINE\\" + PathOf(item);
    step.name = item.name;
    return engines::DescribeStep(step);
  }
  int PackageInto(const std::string& folder) {
    return gui::App(exe, std::string("/PACKAGE ") + kStage + "\\RPT_0001.TXT " + folder).WaitExit();
  }
};

TEST_F(HostilePackage, NamesAndDataArriveUnchanged) {
  const char* stage = std::getenv("VORTAN4_PACKAGE_STAGE");
  if (!stage) GTEST_SKIP() << "tests/e2e/package_roundtrip.sh runs this test in its stages";
  if (std::string(stage) == "replay") {
    ASSERT_EQ(gui::App(Package() + "\\setup.exe", "/S").WaitExit(), 0);
    const std::string readme = Readme();
    const std::string nsisOnly = readme.substr(readme.find("LEFT OUT OF setup.nsi:"));
    for (const Item& item : Items()) {
      const std::string path = PathOf(item);
      if (item.leftOutOfNsis) {
        EXPECT_NE(nsisOnly.find("  " + Described(item) + ": "), std::string::npos) << path << "\n" << readme;
        continue;
      }
      DWORD type = 0;
      std::string data;
      switch (item.kind) {
        case Kind::File: EXPECT_EQ(ReadBytes(path), item.data) << path; break;
        case Kind::Folder: EXPECT_TRUE(platform::FolderExists(path)) << path; break;
        case Kind::Key: EXPECT_TRUE(platform::KeyExists(HKEY_LOCAL_MACHINE, path)) << path; break;
        case Kind::Value:
          EXPECT_EQ(platform::ReadValue(HKEY_LOCAL_MACHINE, path, item.name, type, data), ERROR_SUCCESS) << path;
          EXPECT_EQ(type, item.type) << path << " " << item.name;
          EXPECT_EQ(data, item.data) << path << " " << item.name;
          break;
      }
    }
    EXPECT_FALSE(platform::KeyExists(HKEY_LOCAL_MACHINE, std::string(kKey) + "\\Gone"));
    return;
  }
  ASSERT_TRUE(CopyFileA("C:\\tests\\VORTAN4.EXE", exe.c_str(), FALSE));
  // The install, and the undo data of its report.
  testing_support::RemoveTree(kStage);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kKey);
  engines::UndoData undo;
  undo.report = std::string(kStage) + "\\RPT_0001.TXT";
  undo.mode = 3;
  undo.watchedFolders = {kStage};
  ASSERT_EQ(platform::MakeFolderPath(kFiles), ERROR_SUCCESS);
  undo.items.push_back(engines::MakeUndoItem(engines::UndoKind::FolderAdded, kFiles));
  for (const Item& item : Items()) {
    const std::string path = PathOf(item);
    const std::string key = "HKEY_LOCAL_MACHINE\\" + path;
    switch (item.kind) {
      case Kind::Folder:
        ASSERT_TRUE(CreateDirectoryW(platform::LongPathForm(path).c_str(), nullptr)) << path;
        undo.items.push_back(engines::MakeUndoItem(engines::UndoKind::FolderAdded, path));
        break;
      case Kind::File: {
        WriteBytes(path, item.data);
        engines::UndoItem added = engines::MakeUndoItem(engines::UndoKind::FileAdded, path);
        bool isFolder = false;
        ASSERT_TRUE(platform::EntryStamp(path, isFolder, added.size, added.writeTime)) << path;
        undo.items.push_back(added);
        break;
      }
      case Kind::Key:
        ASSERT_EQ(platform::MakeKey(HKEY_LOCAL_MACHINE, path), ERROR_SUCCESS) << path;
        undo.items.push_back(engines::MakeUndoItem(engines::UndoKind::KeyAdded, key));
        break;
      case Kind::Value:
        SetValue(HKEY_LOCAL_MACHINE, path, item.name, item.type, item.data);
        if (item.data.find('\0') + 1 < item.data.size() && item.type == REG_SZ) {
          // Windows 95 and 98 (and Wine playing them) keep a string up to its first NUL;
          // the NT family keeps every byte, as the wide call does here.
          platform::RegKey key = platform::OpenRegistryKey(HKEY_LOCAL_MACHINE, path, KEY_SET_VALUE);
          const std::wstring wide(item.data.begin(), item.data.end());
          ASSERT_EQ(RegSetValueExW(key.get(), std::wstring(item.name.begin(), item.name.end()).c_str(), 0, item.type,
                                   reinterpret_cast<const BYTE*>(wide.data()), static_cast<DWORD>(2 * wide.size())),
                    ERROR_SUCCESS);
        }
        undo.items.push_back(engines::MakeUndoItem(engines::UndoKind::ValueAdded, key, item.name));
        undo.items.back().after = {true, static_cast<int>(item.type), item.data};
        break;
    }
  }
  // A key the install made and that is gone since: the package must not make it again.
  undo.items.push_back(engines::MakeUndoItem(engines::UndoKind::KeyAdded,
                                             std::string("HKEY_LOCAL_MACHINE\\") + kKey + "\\Gone"));
  engines::WriteUndoData(engines::UndoPlacesOf(undo.report).folder, undo);
  WriteBytes(undo.report, std::string("Installation report: Hostile $ install\r\n"
                                      "    (generated by VORTAN 4)\r\n"
                                      "Install program: C:\\setup.exe\r\n"
                                      "Notification by Disk contents comparison\r\n"
                                      "Tracking these drives/folders: \r\n    ") +
                              kStage + "\r\n");

  ASSERT_EQ(PackageInto(Package()), 1);  // some items are left out of each source
  std::string readme = Readme();
  EXPECT_EQ(readme.find("Hostile $ install package, made by Vortan4 from " + undo.report + "\r\n"), 0u) << readme;
  EXPECT_NE(readme.find("key HKEY_LOCAL_MACHINE\\" + std::string(kKey) + "\\Gone: gone since the report"),
            std::string::npos) << readme;
  // A folder that holds other files is refused whole; an earlier package of the same
  // report is replaced whole.
  const std::string other = std::string(kStage) + "\\other";
  WriteBytes(other + "\\keep.txt", "mine");
  EXPECT_EQ(PackageInto(other), 2);
  EXPECT_FALSE(platform::FileExists(other + "\\README.TXT"));
  WriteBytes(Package() + "\\files\\C\\stale.txt", "from an earlier package");
  EXPECT_EQ(PackageInto(Package()), 1);
  EXPECT_FALSE(platform::FileExists(Package() + "\\files\\C\\stale.txt"));
  EXPECT_EQ(Readme(), readme);
}

}  // namespace
}  // namespace e2e
