#include "app/settings.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "platform/owners.h"
#include "platform/profile.h"
#include "support/temp_folder.h"

using app::SettingsFile;
using app::WatchedList;
using Entries = std::vector<std::string>;
using testing_support::TempFolder;

TEST(Settings, DefaultsWhenTheFileIsMissing) {
  TempFolder folder;
  SettingsFile file(folder / "VORTAN4.INI");
  app::MainSettings values = app::ReadMainSettings(file, "c:\\prog\\");
  EXPECT_EQ(values.lastRept, 1);
  EXPECT_EQ(values.instPath, "c:\\");
  EXPECT_EQ(values.reptPath, "c:\\prog\\");
  EXPECT_EQ(values.tempPath, "c:\\prog\\");
  EXPECT_FALSE(file.ReadFlag("Settings", "DrivesInitialized", false));

  app::Continuation block = app::ReadContinuation(file, "desc", "c:\\r.txt", "setup.exe");
  EXPECT_EQ(block.twoPhase, 0);
  // Reading created nothing.
  EXPECT_EQ(GetFileAttributesA(file.Path().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Settings, ValuesAndTheirReadingRules) {
  TempFolder folder;
  folder.Write("V.INI",
               "[Settings]\r\nLastRept=2\r\nInstPath=d:\\setups\r\nReptPath=\r\n"
               "TempPath=c:\\temp\\\r\nLeft=abc\r\nTop=-40\r\nDrivesInitialized=7\r\n"
               "INIsInitialized=yes\r\nRegInitialized=0\r\n");
  SettingsFile file(folder / "V.INI");
  app::MainSettings values = app::ReadMainSettings(file, "c:\\prog\\");
  EXPECT_EQ(values.lastRept, 2);
  EXPECT_EQ(values.instPath, "d:\\setups\\");
  EXPECT_EQ(values.reptPath, "");  // present but empty: stays empty
  EXPECT_EQ(values.tempPath, "c:\\temp\\");
  EXPECT_EQ(file.ReadInt("Settings", "Left", 99), 99);
  EXPECT_EQ(file.ReadInt("Settings", "Top", 99), -40);
  EXPECT_EQ(file.ReadInt("settings", "lastrept", 0), 2);
  EXPECT_TRUE(file.ReadFlag("Settings", "DrivesInitialized", false));
  EXPECT_TRUE(file.ReadFlag("Settings", "INIsInitialized", true));
  EXPECT_FALSE(file.ReadFlag("Settings", "INIsInitialized", false));
  EXPECT_FALSE(file.ReadFlag("Settings", "RegInitialized", true));

  file.WriteInt("Settings", "Left", -2147483647 - 1);
  EXPECT_EQ(file.ReadInt("Settings", "Left", 0), -2147483647 - 1);
  file.WriteString("Settings", "InstPath", "e:\\x y");
  EXPECT_EQ(app::ReadMainSettings(file, "").instPath, "e:\\x y\\");
}

TEST(Settings, DriveListInFileOrderWithBadEntriesDropped) {
  TempFolder folder;
  folder.MakeFolder("five");
  folder.MakeFolder("zero");
  folder.MakeFolder("zero\\inner");
  folder.Write("a-file", "x");
  std::string text = "[Settings]\r\nDrivesInitialized=1\r\n[Drives]\r\n";
  text += "5=" + folder / "Five" + "\r\n";
  text += "0=" + folder / "zero" + "\r\n";
  text += "1=" + folder / "missing" + "\r\n";
  text += "2=\r\n";
  text += "3=" + folder / "a-file" + "\r\n";
  text += "4=" + folder / "zero\\inner" + "\r\n";
  text += "0=" + folder / "five" + "\r\n";
  folder.Write("V.INI", text);
  SettingsFile file(folder / "V.INI");

  engines::TrackedList drives = app::LoadWatchedList(file, WatchedList::Drives, "c:\\windows\\");
  std::string lower = engines::LowerAscii(folder.Path());
  EXPECT_EQ(drives.entries, Entries({lower + "five", lower + "zero"}));
}

TEST(Settings, DefaultListsAndAnEmptyUserList) {
  TempFolder folder;
  SettingsFile file(folder / "V.INI");
  // The test prefix has no Z: drive, so C: is the one fixed drive.
  EXPECT_EQ(app::LoadWatchedList(file, WatchedList::Drives, "").entries, Entries({"c:\\"}));
  EXPECT_EQ(app::LoadWatchedList(file, WatchedList::Inis, "c:\\windows\\").entries,
            Entries({"c:\\windows\\win.ini", "c:\\windows\\system.ini", "c:\\windows\\control.ini"}));
  EXPECT_TRUE(app::LoadWatchedList(file, WatchedList::Regs, "").entries.empty());

  file.WriteFlag("Settings", "DrivesInitialized", true);
  EXPECT_TRUE(app::LoadWatchedList(file, WatchedList::Drives, "").entries.empty());
}

TEST(Settings, IniAndKeyListsCheckTheirEntries) {
  TempFolder folder;
  folder.Write("good.ini", "[a]\r\nb=c\r\n");
  folder.Write("Second.INI", "[s]\r\n");
  folder.Write("plain.txt", "no sections here\r\n");
  std::string text = "[Settings]\r\nINIsInitialized=1\r\nRegInitialized=1\r\n[INIs]\r\n";
  text += "0=" + folder / "Second.INI" + "\r\n";
  text += "1=" + folder / "plain.txt" + "\r\n";
  text += "2=" + folder / "gone.ini" + "\r\n";
  text += "3=" + folder / "good.ini" + "\r\n";
  text += "[Regs]\r\n0=HKEY_LOCAL_MACHINE\\Software\\Wine\r\n1=HKEY_CURRENT_USER\\Software\r\n"
          "2=HKEY_LOCAL_MACHINE\\Software\\No Such Key 71\r\n3=hkey_local_machine\\software\\wine\\x\r\n"
          "4=HKEY_USERS\\.Default\r\n";
  folder.Write("V.INI", text);
  SettingsFile file(folder / "V.INI");

  EXPECT_EQ(app::LoadWatchedList(file, WatchedList::Inis, "").entries,
            Entries({folder / "Second.INI", folder / "good.ini"}));
  EXPECT_EQ(app::LoadWatchedList(file, WatchedList::Regs, "").entries,
            Entries({"hkey_local_machine\\software\\wine", "hkey_users\\.default"}));
}

TEST(Settings, SavingAListErasesTheOldEntries) {
  TempFolder folder;
  SettingsFile file(folder / "V.INI");
  engines::TrackedList five;
  for (const char* name : {"a.ini", "b.ini", "c.ini", "d.ini", "e.ini"})
    five.entries.push_back(folder / name);
  app::SaveWatchedList(file, WatchedList::Inis, five);
  EXPECT_EQ(platform::ProfileKeyNames(file.Path(), "INIs"), Entries({"0", "1", "2", "3", "4"}));

  engines::TrackedList three;
  three.entries = {five.entries[0], five.entries[2], five.entries[4]};
  app::SaveWatchedList(file, WatchedList::Inis, three);
  EXPECT_EQ(platform::ProfileKeyNames(file.Path(), "INIs"), Entries({"0", "1", "2"}));
  EXPECT_EQ(file.ReadString("INIs", "1", ""), folder / "c.ini");
  EXPECT_TRUE(file.ReadFlag("Settings", "INIsInitialized", false));
}

TEST(Settings, ContinuationRoundTripOrderAndErase) {
  TempFolder folder;
  SettingsFile file(folder / "V.INI");
  file.WriteInt("Settings", "LastRept", 2);
  app::Continuation written;
  written.twoPhase = session::tpRestart;
  written.reportDesc = "My \"quoted\" install";
  written.reportName = "c:\\reports\\RPT_0003.CSV";
  written.installProg = "a:\\setup.exe /s";
  written.timeLo = -1234567890;
  written.timeHi = 29876543;
  written.statMask = 0x4F0;
  written.trackMode = session::tmTime;
  app::WriteContinuation(file, written);

  std::string text = folder.Read("V.INI");
  const char* order[] = {"TwoPhase=", "ReportDesc=", "ReportName=", "InstallProg=",
                         "TimeLo=",   "TimeHi=",     "StatMask=",   "TrackMode="};
  size_t at = text.find("[TwoPhase]");
  ASSERT_NE(at, std::string::npos);
  for (const char* key : order) {
    size_t next = text.find(key, at);
    ASSERT_NE(next, std::string::npos) << key;
    at = next;
  }

  app::Continuation read = app::ReadContinuation(file, "", "", "");
  EXPECT_EQ(read.twoPhase, 2);
  EXPECT_EQ(read.reportDesc, written.reportDesc);
  EXPECT_EQ(read.reportName, written.reportName);
  EXPECT_EQ(read.installProg, written.installProg);
  EXPECT_EQ(read.timeLo, written.timeLo);
  EXPECT_EQ(read.timeHi, written.timeHi);
  EXPECT_EQ(read.statMask, 0x4F0);
  EXPECT_EQ(read.trackMode, 2);

  app::EraseContinuation(file);
  EXPECT_TRUE(platform::ProfileKeyNames(file.Path(), "TwoPhase").empty());
  EXPECT_EQ(file.ReadInt("Settings", "LastRept", 0), 2);
}

TEST(Settings, ContinuationDefaults) {
  TempFolder folder;
  folder.Write("V.INI", "[TwoPhase]\r\nTwoPhase=1\r\n");
  SettingsFile file(folder / "V.INI");
  app::Continuation block = app::ReadContinuation(file, "desc", "c:\\r.txt", "setup.exe");
  EXPECT_EQ(block.twoPhase, 1);
  EXPECT_EQ(block.reportDesc, "desc");
  EXPECT_EQ(block.reportName, "c:\\r.txt");
  EXPECT_EQ(block.installProg, "setup.exe");
  EXPECT_EQ(block.timeLo, -1);
  EXPECT_EQ(block.timeHi, -1);
  EXPECT_EQ(block.trackMode, 3);
  EXPECT_EQ(block.statMask, 0x3FF);

  file.WriteInt("TwoPhase", "TrackMode", 2);
  EXPECT_EQ(app::ReadContinuation(file, "", "", "").statMask, 0x4FB);
}

TEST(Settings, RefusedWritesRaiseUnableToWrite) {
  TempFolder folder;
  SettingsFile file(folder / "V.INI");
  file.WriteInt("Settings", "LastRept", 1);
  {
    // Another program holds the file open without sharing: the system refuses the write
    // even for root, which a read-only attribute would not stop under Wine.
    platform::FileHandle lock(CreateFileA(file.Path().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(lock.valid());
    try {
      file.WriteInt("Settings", "LastRept", 2);
      FAIL() << "the write was not refused";
    } catch (const app::SettingsWriteError& e) {
      EXPECT_EQ(std::string(e.what()), "Unable to write to " + file.Path());
    }
    EXPECT_THROW(file.EraseSection("Settings"), app::SettingsWriteError);
    EXPECT_THROW(app::SaveWatchedList(file, WatchedList::Regs, engines::TrackedList()),
                 app::SettingsWriteError);
  }
  EXPECT_EQ(file.ReadInt("Settings", "LastRept", 0), 1);

  SettingsFile nowhere(folder / "no such folder\\V.INI");
  EXPECT_THROW(app::WriteContinuation(nowhere, app::Continuation()), app::SettingsWriteError);
}

TEST(Settings, PlacementCentresAndPullsBackOntoTheScreen) {
  TempFolder folder;
  SettingsFile file(folder / "V.INI");
  const SIZE screen{1023, 767};
  app::Placement centred = app::ReadPlacement(file, "Settings", {400, 300}, false, screen);
  EXPECT_EQ(centred.left, 311);
  EXPECT_EQ(centred.top, 233);

  // Saved on a larger screen: right and bottom edges come back onto this one.
  app::WritePlacement(file, "Settings", {1500, 900, 999, 999}, false);
  app::Placement pulled = app::ReadPlacement(file, "Settings", {400, 300}, false, screen);
  EXPECT_EQ(pulled.left, 623);
  EXPECT_EQ(pulled.top, 467);
  EXPECT_EQ(pulled.width, 400);
  EXPECT_FALSE(file.ReadString("Settings", "Width", "none") != "none");

  // Left of or above the screen is kept.
  app::WritePlacement(file, "Settings", {-50, -20, 0, 0}, false);
  app::Placement off = app::ReadPlacement(file, "Settings", {400, 300}, false, screen);
  EXPECT_EQ(off.left, -50);
  EXPECT_EQ(off.top, -20);

  // A resizable window keeps its size; the minimum is the default.
  const std::string section = app::PlacementSection("PathsForm");
  EXPECT_EQ(section, "PathsForm Settings");
  app::Placement fresh = app::ReadPlacement(file, section, {200, 100}, true, screen);
  EXPECT_EQ(fresh.width, 200);
  EXPECT_EQ(fresh.left, 411);
  app::WritePlacement(file, section, {900, 10, 300, 150}, true);
  app::Placement resized = app::ReadPlacement(file, section, {200, 100}, true, screen);
  EXPECT_EQ(resized.width, 300);
  EXPECT_EQ(resized.height, 150);
  EXPECT_EQ(resized.left, 723);
  EXPECT_EQ(resized.top, 10);
}

TEST(Settings, ProgramPlaces) {
  app::ProgramPlaces places = app::FindProgramPlaces("C:\\Tools.V4\\Vortan4.exe");
  EXPECT_EQ(places.programFolder, "c:\\tools.v4\\");
  EXPECT_EQ(places.settingsPath, "C:\\Tools.V4\\Vortan4.INI");
  EXPECT_EQ(app::FindProgramPlaces("C:\\Tools.V4\\VORTAN4").settingsPath, "C:\\Tools.V4\\VORTAN4.INI");
  ASSERT_FALSE(places.windowsFolder.empty());
  EXPECT_EQ(places.windowsFolder.back(), '\\');
  EXPECT_EQ(places.windowsFolder, engines::LowerAscii(places.windowsFolder));
}
