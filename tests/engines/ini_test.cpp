#include "engines/ini.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "engines/helpers.h"
#include "platform/ioerror.h"
#include "platform/system.h"
#include "support/own_process.h"
#include "support/temp_folder.h"

using Lines = std::vector<std::string>;
using testing_support::TempFolder;

namespace {

Lines Texts(const engines::ResultList& list) {
  Lines texts;
  for (const engines::ListEntry& entry : list) texts.push_back(entry.text);
  return texts;
}

struct Changes {
  Lines keysAdded, keysDeleted, keysChanged, sectionsAdded, sectionsDeleted;
  bool None() const {
    return keysAdded.empty() && keysDeleted.empty() && keysChanged.empty() &&
           sectionsAdded.empty() && sectionsDeleted.empty();
  }
};

// One watched INI file (app\app.ini) and the temporary folder, changed between the two
// snapshots the way installers change INI files.
class Install {
 public:
  explicit Install(const std::string& text = "", const std::string& name = "app\\app.ini")
      : ini(folder / name), relative_(name) {
    folder.MakeFolder("temp");
    folder.MakeFolder("app");
    if (!text.empty()) Edit(text);
  }
  void Edit(const std::string& text) const { folder.Write(relative_, text); }
  void Set(const char* section, const char* key, const char* value) const {
    ASSERT_TRUE(WritePrivateProfileStringA(section, key, value, ini.c_str()));
  }
  std::string Copy(const std::string& extension) const {
    return engines::IniCopyPath(ini, temp, extension);
  }
  std::string Read(const std::string& path) const {
    return folder.Read(path.substr(folder.Path().size()));
  }
  void Write(const std::string& path, const std::string& text) const {
    folder.Write(path.substr(folder.Path().size()), text);
  }
  void Before() const { engines::SnapshotIniFile(ini, temp, ".$$1"); }
  Changes After() const {
    engines::SnapshotIniFile(ini, temp, ".$$2");
    engines::ResultList lists[5];
    engines::CompareIniSnapshots(Copy(".$$1"), Copy(".$$2"), lists[0], lists[1], lists[2],
                                 lists[3], lists[4]);
    return {Texts(lists[0]), Texts(lists[1]), Texts(lists[2]), Texts(lists[3]), Texts(lists[4])};
  }

  TempFolder folder;
  const std::string ini;
  const std::string temp = folder / "temp\\";

 private:
  std::string relative_;
};

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

TEST(IniCopyName, ReplacesDriveAndFolderSeparators) {
  EXPECT_EQ(engines::IniCopyName("c:\\windows\\win.ini"), "c__windows_win.ini");
  EXPECT_EQ(engines::IniCopyPath("c:\\windows\\win.ini", "c:\\tmp\\", ".$$1"),
            "c:\\tmp\\c__windows_win.$$1");
  EXPECT_EQ(engines::IniCopyPath("c:\\my.app\\settings", "c:\\tmp", ".$$2"),
            "c:\\tmp\\c__my.$$2");
  std::string windows = engines::WithTrailingBackslash(platform::WindowsFolder());
  EXPECT_EQ(engines::IniFullPath("system.ini"), windows + "system.ini");
  EXPECT_EQ(engines::IniCopyPath("system.ini", "c:\\tmp\\", ".$$1"),
            engines::IniCopyPath(windows + "system.ini", "c:\\tmp\\", ".$$1"));
}

TEST(SnapshotIniFile, CopyIsSortedByNameWithValuesAsTheSystemReadsThem) {
  Install install("; comment\r\n[Windows]\r\nload=\r\nRun=app.exe\r\nrun=second\r\nBeep=yes\r\n"
                  "[colors]\r\nZeta=1\r\na b=2\r\na=3\r\na_b=4\r\nco-op=5\r\ncoop=6\r\n"
                  "quoted=\"in quotes\"\r\n  spaced key  =  spaced value  \r\nnovalue\r\n"
                  "[Empty]\r\n[windows]\r\nlate=1\r\n[Long]\r\nv=" +
                  std::string(3000, 'x') + "\r\n");
  install.Before();
  // Key "a" before "a b" although "a b=2" sorts before "a=3"; the duplicate key and the
  // second [windows] block count once, as the profile functions read them.
  EXPECT_EQ(install.Read(install.Copy(".$$1")),
            "[colors]\r\n[colors]a=3\r\n[colors]a b=2\r\n[colors]a_b=4\r\n[colors]coop=6\r\n"
            "[colors]co-op=5\r\n[colors]quoted=in quotes\r\n[colors]spaced key=spaced value\r\n"
            "[colors]Zeta=1\r\n[Empty]\r\n[Long]\r\n[Long]v=" +
                std::string(2047, 'x') + "\r\n[Windows]\r\n[Windows]Beep=yes\r\n"
                "[Windows]Run=app.exe\r\n");
}

TEST(CompareIniSnapshots, RewrittenOrRecasedFilesGiveNothing) {
  Install install("[Boot]\r\n  shell = Explorer.exe \r\n[ Spaced ]\r\nk=v\r\nrun=\r\n");
  install.Before();
  EXPECT_TRUE(install.After().None());
  // A profile write rewrites and normalises the whole file; the values stay the same.
  install.Set("Boot", "shell", "Explorer.exe");
  EXPECT_TRUE(install.After().None());
  install.Edit("[BOOT]\r\nShell=Explorer.exe\r\n[spaced]\r\nK=v\r\n");
  EXPECT_TRUE(install.After().None());
}

TEST(CompareIniSnapshots, SectionsAndKeysAddedDeletedAndChanged) {
  const std::string path(300, 'p');
  Install install("[Alpha]\r\nk=1\r\n[Windows]\r\nBeep=Yes\r\nDevice=lpt1\r\nPath=" + path +
                  "1\r\n[Zeta]\r\nz=1\r\n");
  install.Before();
  install.Set("Acme", "a", "1");
  install.Set("Acme", "b", "2");
  install.Set("Alpha", nullptr, nullptr);
  install.Set("Beta", "k", "1");
  install.Set("Windows", "Beep", "yes");
  install.Set("Windows", "Device", "");
  install.Set("Windows", "Path", (path + "2").c_str());
  install.Set("Zeta", "z", "2");
  Changes changes = install.After();
  EXPECT_EQ(changes.sectionsAdded, Lines({"[Acme]", "[Beta]"}));
  EXPECT_EQ(changes.sectionsDeleted, Lines({"[Alpha]"}));
  // The same key in a deleted and an added section is not a change.
  EXPECT_EQ(changes.keysAdded, Lines({"[Acme]a=1", "[Acme]b=2", "[Beta]k=1"}));
  // A key set to an empty value leaves the copy.
  EXPECT_EQ(changes.keysDeleted, Lines({"[Alpha]k=1", "[Windows]Device=lpt1"}));
  EXPECT_EQ(changes.keysChanged,
            Lines({"[Windows]Beep=Yes=to=yes", "[Windows]Path=" + path + "1=to=" + path + "2",
                   "[Zeta]z=1=to=2"}));
}

TEST(CompareIniSnapshots, KeysAddedAfterTheLastKeyAndInLocaleOrder) {
  Install install("[s]\r\na=1\r\na b=2\r\nco-op=3\r\n[Zeta]\r\nm=1\r\n");
  install.Before();
  install.Set("Zeta", "x", "1");
  install.Set("Zeta", "y", "2");
  install.Set("Zeta", "z", "3");
  install.Set("s", "a b", nullptr);
  install.Set("s", "coop", "4");
  Changes changes = install.After();
  EXPECT_EQ(changes.keysAdded, Lines({"[s]coop=4", "[Zeta]x=1", "[Zeta]y=2", "[Zeta]z=3"}));
  EXPECT_EQ(changes.keysDeleted, Lines({"[s]a b=2"}));
  EXPECT_TRUE(changes.keysChanged.empty());
}

TEST(CompareIniSnapshots, FileCreatedOrDeletedByTheInstall) {
  Install created;
  // Copies left by an earlier run must not stand in for the missing file.
  created.Write(created.Copy(".$$1"), "[Old]\r\n");
  created.Before();
  EXPECT_FALSE(Exists(created.Copy(".$$1")));
  created.Set("New", "k", "v");
  Changes changes = created.After();
  EXPECT_EQ(changes.sectionsAdded, Lines({"[New]"}));
  EXPECT_EQ(changes.keysAdded, Lines({"[New]k=v"}));

  Install deleted("[Gone]\r\nk=v\r\n");
  deleted.Before();
  DeleteFileA(deleted.ini.c_str());
  changes = deleted.After();
  EXPECT_EQ(changes.sectionsDeleted, Lines({"[Gone]"}));
  EXPECT_EQ(changes.keysDeleted, Lines({"[Gone]k=v"}));
  EXPECT_FALSE(Exists(deleted.Copy(".$$2")));

  Install never;
  never.Before();
  EXPECT_TRUE(never.After().None());
}

TEST(SnapshotIniFile, FilesSharingACopyNameShareOneCopy) {
  Install first("[First]\r\nk=1\r\n", "my_app.ini");
  first.folder.Write("my\\app.ini", "[Second]\r\nk=2\r\n");
  const std::string second = first.folder / "my\\app.ini";
  const std::string other = first.folder / "my_app.cfg";
  EXPECT_EQ(engines::IniCopyPath(second, first.temp, ".$$1"), first.Copy(".$$1"));
  EXPECT_EQ(engines::IniCopyPath(other, first.temp, ".$$1"), first.Copy(".$$1"));
  first.Before();
  engines::SnapshotIniFile(second, first.temp, ".$$1");
  EXPECT_EQ(first.Read(first.Copy(".$$1")), "[Second]\r\n[Second]k=2\r\n");
}

TEST(SnapshotSystemIniDevices, DeviceLinesOfThe386EnhSectionOnly) {
  // Only the first [386Enh] block counts, as for the profile functions.
  Install system("[boot]\r\ndevice=boot.drv\r\n[386enh]\r\n  device=b.386  \r\nDEVICE=*vmm\r\n"
                 ";device=old.386\r\nkeyboarddevice=kb\r\nother=1\r\n\r\n[Next]\r\ndevice=n\r\n"
                 "[386Enh]\r\ndevice=second-block\r\n",
                 "system.ini");
  const std::string devices = system.temp + "DEV$$$$$.$$1";
  engines::SnapshotSystemIniDevices(system.ini, devices);
  EXPECT_EQ(system.Read(devices),
            ";device=old.386\r\nDEVICE=*vmm\r\ndevice=b.386\r\nkeyboarddevice=kb\r\n");

  system.Edit("[boot]\r\ndevice=boot.drv\r\n");
  engines::SnapshotSystemIniDevices(system.ini, devices);
  EXPECT_EQ(system.Read(devices), "");
  DeleteFileA(system.ini.c_str());
  engines::SnapshotSystemIniDevices(system.ini, devices);
  EXPECT_EQ(system.Read(devices), "");
}

TEST(CompareSystemIniDevices, DeviceLinesReplaceTheKeyCompareOfTheDeviceKey) {
  Install system("[386Enh]\r\ndevice=a.386\r\ndevice=a.386\r\ndevice=b.386\r\nMinTimeslice=20\r\n",
                 "system.ini");
  const std::string devices = system.temp + "DEV$$$$$";
  system.Before();
  engines::SnapshotSystemIniDevices(system.ini, devices + ".$$1");
  system.Edit("[386Enh]\r\ndevice=*vmm\r\nDEVICE=A.386\r\ndevice=b.386\r\nMinTimeslice=40\r\n");
  engines::SnapshotIniFile(system.ini, system.temp, ".$$2");
  engines::SnapshotSystemIniDevices(system.ini, devices + ".$$2");

  engines::ResultList added, deleted, changed, sectionsAdded, sectionsDeleted;
  engines::CompareIniSnapshots(system.Copy(".$$1"), system.Copy(".$$2"), added, deleted, changed,
                               sectionsAdded, sectionsDeleted);
  EXPECT_EQ(Texts(changed),
            Lines({"[386Enh]device=a.386=to=*vmm", "[386Enh]MinTimeslice=20=to=40"}));
  engines::CompareSystemIniDevices(devices + ".$$1", devices + ".$$2", added, deleted, changed);
  // The device line twice before and once after: one of the two is gone.
  EXPECT_EQ(Texts(added), Lines({"[386Enh]device=*vmm"}));
  EXPECT_EQ(Texts(deleted), Lines({"[386Enh]device=a.386"}));
  EXPECT_EQ(Texts(changed), Lines({"[386Enh]MinTimeslice=20=to=40"}));

  // No device file before (no SYSTEM.INI): every device line is new.
  engines::ResultList none;
  added.clear();
  engines::CompareSystemIniDevices(devices + ".$$0", devices + ".$$2", added, none, none);
  EXPECT_EQ(Texts(added), Lines({"[386Enh]device=*vmm", "[386Enh]DEVICE=A.386",
                                 "[386Enh]device=b.386"}));
}

// The watched list may hold the name in capitals (an older settings file, a hand edit).
TEST(SnapshotWatchedIniFiles, DeviceLinesOfASystemIniInAnyCase) {
  Install system("[386Enh]\r\ndevice=a.386\r\n", "SYSTEM.INI");
  ASSERT_TRUE(engines::HasDeviceLines(system.ini));
  const std::string devices = system.temp + "DEV$$$$$";
  ASSERT_TRUE(engines::SnapshotWatchedIniFiles({system.ini}, system.temp, ".$$1", nullptr));
  system.Edit("[386Enh]\r\ndevice=a.386\r\ndevice=b.386\r\n");
  ASSERT_TRUE(engines::SnapshotWatchedIniFiles({system.ini}, system.temp, ".$$2", nullptr));
  engines::ResultList added, deleted, changed;
  engines::CompareSystemIniDevices(devices + ".$$1", devices + ".$$2", added, deleted, changed);
  EXPECT_EQ(Texts(added), Lines({"[386Enh]device=b.386"}));
  EXPECT_TRUE(deleted.empty());
}

TEST(IniEngines, FailuresNameTheFile) {
  Install install("[s]\r\nk=v\r\n");
  const std::string noFolder = install.folder / "no such folder\\";
  try {
    engines::SnapshotIniFile(install.ini, noFolder, ".$$1");
    FAIL();
  } catch (const platform::IoError& error) {
    EXPECT_EQ(error.Path(), install.Copy(".$$1").replace(0, install.temp.size(), noFolder));
  }
  // A copy that exists but cannot be read is an error, unlike one that does not exist.
  install.folder.MakeFolder("temp\\folder.$$2");
  engines::ResultList lists[5];
  try {
    engines::CompareIniSnapshots(install.temp + "none.$$1", install.temp + "folder.$$2", lists[0],
                                 lists[1], lists[2], lists[3], lists[4]);
    FAIL();
  } catch (const platform::IoError& error) {
    EXPECT_EQ(error.Path(), install.temp + "folder.$$2");
  }
}

// An abort story, in a process of its own: the copy of an earlier run stays as it was.
std::string SnapshotLeftAloneOnceClosing() {
  Install install("[s]\r\nk=new\r\n");
  install.Write(install.Copy(".$$1"), "old");
  PostQuitMessage(0);
  if (!engines::AbortRequested()) return "no abort";
  install.Before();
  const std::string copy = install.Read(install.Copy(".$$1"));
  return copy == "old" ? "" : "copy written: " + copy;
}

TEST(SnapshotIniFileDeathTest, DoesNothingOnceTheProgramIsClosing) {
  EXPECT_EXIT(testing_support::ExitWith(SnapshotLeftAloneOnceClosing()),
              testing::ExitedWithCode(0), "");
}
