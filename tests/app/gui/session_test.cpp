// Whole tracking sessions of the real program: "&GO!", the install program and every
// program it starts, "Install &Complete", the report on page 2; two-phase tracking;
// closing during a session.
#include "engines/ini.h"
#include "session_fixture.h"
#include "support/sample_programs.h"

namespace gui_tests {
namespace {

TEST_F(Session, DiskContentsWithAnInstallProgram) {
  Start("win98");
  ChooseProgram(kFakeSetup, "write " + watch + "\\new.txt", IDC_rbTmDisk);
  ASSERT_TRUE(GoAndWaitForTheInstall());
  EXPECT_TRUE(gui::Visible(Item(IDC_stPlease)));
  for (const char* name : {"VORTAN$$.$$1", "REG$$$$$.$$1"}) EXPECT_TRUE(Exists(temp + name)) << name;
  const std::string iniCopy = engines::IniCopyName(IniFile());
  EXPECT_TRUE(Exists(temp + iniCopy.substr(0, iniCopy.rfind('.')) + ".$$1"));

  // What else happened during the install, besides the program's own file.
  outside.Write("watch\\old.txt", "changed!");
  DeleteFileA((outside / "watch\\gone.txt").c_str());
  WritePrivateProfileStringA("Main", "Colour", "blue", IniFile().c_str());
  ASSERT_TRUE(CompleteAndWaitForTheReport());

  const std::string body = Report("RPT_0000.TXT");
  EXPECT_EQ(body.rfind("Installation report: fakesetup\r\n", 0), 0u) << body;
  EXPECT_NE(body.find("Notification by Disk contents comparison\r\n"), std::string::npos);
  EXPECT_NE(body.find("KEYS CHANGED IN " + IniFile() +
                      ": (1)\r\n[Main]Colour=red=to=blue\r\n"),
            std::string::npos)
      << body;
  EXPECT_NE(body.find("FILES AND DIRECTORIES ADDED: (1)\r\n" + watch + "\\new.txt\r\n\r\n"
                      "FILES AND DIRECTORIES DELETED: (1)\r\n" + watch + "\\gone.txt\r\n\r\n"
                      "FILES CHANGED: (1)\r\n" + watch + "\\old.txt\r\n\r\n"),
            std::string::npos)
      << body;
  const std::string csv = Report("EXTRARPT.CSV");
  EXPECT_NE(csv.find("\"File\",\"Add File/Dir\",\"" + watch + "\\new.txt\"\r\n"), std::string::npos)
      << csv;
  // The preview shows the report; page 2 names it.
  std::string preview = gui::Text(Item(IDC_meRept));
  EXPECT_NE(preview.find("FILES CHANGED: (1)"), std::string::npos);
  EXPECT_EQ(Text(IDC_lbReportName), folder / "RPT_0000.TXT");
  EXPECT_TRUE(Exists(temp + "VORTAN$$.$$2"));
  EXPECT_EQ(Close(), 0);  // done: no question
}

TEST_F(Session, InstallCompleteWaitsForTheSecondSetup) {
  Start("nt40");
  ChooseProgram(kFakeSetup, "spawn 1 1 " + watch + "\\second- 1500", IDC_rbTmTime);
  const DWORD start = GetTickCount();
  ASSERT_TRUE(GoAndWaitForTheInstall());
  // The first program ended at once; the button waited for the one it started.
  EXPECT_TRUE(AnyFile(watch + "\\second-*"));
  EXPECT_GE(GetTickCount() - start, 1500u);
  ASSERT_TRUE(CompleteAndWaitForTheReport());
  const std::string body = Report("RPT_0000.TXT");
  EXPECT_NE(body.find("Notification by File-time comparison\r\n"), std::string::npos);
  EXPECT_NE(body.find("FILES AND DIRECTORIES ADDED OR CHANGED: (1)\r\n" + watch + "\\second-"),
            std::string::npos)
      << body;
}

// The install handles an access fault and a thrown exception of its own before it writes
// its file: under the debugging interface its handlers run, and the install completes.
TEST_F(Session, InstallThatHandlesItsOwnExceptions) {
  Start("win98");
  ChooseProgram(kFakeSetup, "catch " + watch + "\\caught.txt", IDC_rbTmTime);
  ASSERT_TRUE(GoAndWaitForTheInstall());
  ASSERT_TRUE(CompleteAndWaitForTheReport());
  const std::string body = Report("RPT_0000.TXT");
  EXPECT_NE(body.find("FILES AND DIRECTORIES ADDED OR CHANGED: (1)\r\n" + watch + "\\caught.txt\r\n"),
            std::string::npos)
      << body;
}

TEST_F(Session, DosProgramSkipsIniAndRegistryAndItsFailedLaunchEndsAtOnce) {
  testing_support::WriteDosProgram(folder, "dossetup.exe");
  Start("win98");
  ChooseProgram(folder / "dossetup.exe", "", IDC_rbTmDisk);
  EXPECT_EQ(Text(IDC_lbExeType), "DOS EXE file");
  ASSERT_TRUE(GoAndWaitForTheInstall());
  for (int row = 0; row < 12; ++row) {
    const bool expected = row == 2 || row == 3 || row == 8 || row == 9;
    EXPECT_EQ(Enabled(IDC_lbStat0 + row), expected) << "row " << row;
  }
  EXPECT_TRUE(Exists(temp + "VORTAN$$.$$1"));
  EXPECT_FALSE(Exists(temp + "REG$$$$$.$$1"));
  EXPECT_FALSE(Exists(temp + "DEV$$$$$.$$1"));
  ASSERT_TRUE(CompleteAndWaitForTheReport());
  const std::string body = Report("RPT_0000.TXT");
  EXPECT_NE(body.find("DOS-based install - INI files not tracked\r\n"
                      "DOS-based install - Registry not tracked\r\n"),
            std::string::npos);
  EXPECT_EQ(body.find("CHANGES MADE TO"), std::string::npos);
  EXPECT_EQ(body.find("REGISTRY"), std::string::npos);
}

// A launch the system refuses installs nothing: no report, but the system's reason, and
// the setup page back with everything as typed; the run's snapshots go.
TEST_F(Session, RefusedLaunchReturnsToTheSetupPage) {
  testing_support::WriteWin32Program(folder, "setup.exe");
  Start("win98");
  ChooseProgram(folder / "setup.exe", "/quiet", IDC_rbTmDisk);
  Type(IDC_ebName, "Acme tools");
  DeleteFileA((folder / "setup.exe").c_str());
  gui::ClickAsync(Item(IDC_btnInstall));
  HWND box = gui::WaitTop("#32770", "Vortan4", window, 0, kSessionTimeout);
  ASSERT_NE(box, nullptr);
  const std::string message = gui::MessageText(box);
  EXPECT_EQ(message.rfind(folder / "setup.exe", 0), 0u) << message;
  EXPECT_GT(message.size(), (folder / "setup.exe").size() + 4) << message;  // and the reason
  EXPECT_TRUE(Exists(temp + "VORTAN$$.$$1"));
  gui::Answer(box, IDOK);
  ASSERT_TRUE(gui::WaitFor([&] { return gui::Visible(Item(IDC_btnInstall)); }));
  EXPECT_FALSE(Enabled(IDC_btnInstDone));
  EXPECT_EQ(Text(IDC_ebInstallProg), folder / "setup.exe");
  EXPECT_EQ(Text(IDC_ebParams), "/quiet");
  EXPECT_EQ(Text(IDC_ebName), "Acme tools");
  for (const char* name : {"VORTAN$$.$$1", "REG$$$$$.$$1"}) EXPECT_FALSE(Exists(temp + name)) << name;
  EXPECT_FALSE(Exists(folder / "RPT_0000.TXT"));
  EXPECT_EQ(Report("VORTAN4.INI").find("TwoPhase"), std::string::npos);
  EXPECT_EQ(Close(), 0);  // nothing runs: no question
}

TEST_F(Session, NoProgramInAComparisonModeIsTwoPhaseTracking) {
  ASSERT_NO_FATAL_FAILURE(RecordTheFirstPhase());
  EXPECT_EQ(Setting("TwoPhase", "TwoPhase"), "1");
  EXPECT_EQ(Setting("TwoPhase", "StatMask"), "1023");
  EXPECT_EQ(Setting("TwoPhase", "TrackMode"), "3");
  EXPECT_EQ(Setting("TwoPhase", "ReportName"), folder / "RPT_0000.TXT");
  EXPECT_NE(Setting("TwoPhase", "TimeHi"), "-1");
  // The snapshots stay for the next run.
  EXPECT_TRUE(Exists(temp + "VORTAN$$.$$1"));
}

TEST_F(Session, ClosingDuringTheRecordingStartsNoInstall) {
  // Enough to watch that the recording is still going when the close request comes.
  for (int i = 0; i < 400; ++i) outside.Write("watch\\d" + std::to_string(i % 40) + "\\f" + std::to_string(i), "");
  Start("win98");
  ChooseProgram(kFakeSetup, "write " + folder.Path() + "installed.txt", IDC_rbTmDisk);
  gui::ClickAsync(Item(IDC_btnInstall));
  ASSERT_TRUE(gui::WaitFor([&] { return gui::Visible(Item(IDC_lbStatus)); }));
  PostMessageA(window, WM_CLOSE, 0, 0);
  HWND box = gui::WaitTop("#32770", "Confirm", window);
  ASSERT_NE(box, nullptr);
  gui::Answer(box, IDYES);
  EXPECT_EQ(app->WaitExit(kSessionTimeout), 0);
  window = nullptr;
  // An install that had started would still run or would have written its file.
  EXPECT_FALSE(ProcessRunning("fakesetup.exe"));
  EXPECT_FALSE(Exists(folder / "installed.txt"));
}

TEST_F(Session, ClosingDuringTheInstallAsksTheHaltQuestion) {
  Start("win98");
  ChooseProgram(kFakeSetup, "spawn 0 1 " + watch + "\\late- 8000", IDC_rbTmTime);
  gui::ClickAsync(Item(IDC_btnInstall));
  ASSERT_TRUE(gui::WaitFor([&] { return IsIconic(window) != FALSE; }, kSessionTimeout));
  ASSERT_TRUE(gui::WaitFor([&] { return ProcessRunning("fakesetup.exe"); }));
  PostMessageA(window, WM_CLOSE, 0, 0);
  HWND box = gui::WaitTop("#32770", nullptr, window);
  ASSERT_NE(box, nullptr);
  char caption[32] = "";
  GetWindowTextA(box, caption, sizeof caption);
  EXPECT_STREQ(caption, "Warning");
  EXPECT_NE(gui::MessageText(box).find("*HALT*"), std::string::npos);
  gui::Answer(box, IDNO);
  // Everything goes on: the install ends and the button comes.
  EXPECT_TRUE(gui::WaitFor([&] { return Enabled(IDC_btnInstDone); }, kSessionTimeout));
  EXPECT_TRUE(AnyFile(watch + "\\late-*"));
}

TEST_F(Session, CsvReportAndAnErrorInTheMiddle) {
  WritePrivateProfileStringA("Settings", "LastRept", "2", (folder / "VORTAN4.INI").c_str());
  Start("win98");
  ChooseProgram(kFakeSetup, "write " + watch + "\\new.txt", IDC_rbTmDisk);
  EXPECT_EQ(Text(IDC_ebReportName), folder / "RPT_0000.CSV");
  Type(IDC_ebName, "Say \"cheese\"");
  ASSERT_TRUE(GoAndWaitForTheInstall());
  // The registry listing from before the install is gone: its compare fails.
  DeleteFileA((temp + "REG$$$$$.$$1").c_str());
  gui::ClickAsync(Item(IDC_btnInstDone));
  HWND box = gui::WaitTop("#32770", nullptr, window, 0, kSessionTimeout);
  ASSERT_NE(box, nullptr);
  EXPECT_NE(gui::MessageText(box).find("REG$$$$$.$$1"), std::string::npos) << gui::MessageText(box);
  EXPECT_TRUE(gui::Visible(Item(IDC_meRept)));
  gui::Answer(box, IDOK);
  const std::string csv = Report("RPT_0000.CSV");
  EXPECT_NE(csv.find("\"Header\",\"Say \"\"cheese\"\"\",\"Vortan4\""), std::string::npos) << csv;
  EXPECT_NE(gui::Text(Item(IDC_meRept)).find("Say \"\"cheese\"\""), std::string::npos);
  const std::string body = Report("EXTRARPT.TXT");
  EXPECT_NE(body.find("Installation report: Say \"cheese\"\r\n"), std::string::npos);
  EXPECT_NE(body.find("NO CHANGES MADE TO"), std::string::npos);
  EXPECT_EQ(body.find("FILES AND DIRECTORIES"), std::string::npos);
}

TEST_F(Session, TwoPhaseTrackingContinuesAtTheNextStart) {
  ASSERT_NO_FATAL_FAILURE(RecordTheFirstPhase());

  outside.Write("watch\\between.txt", "made between the two runs");
  Start("win98");
  HWND box = gui::WaitTop("#32770", "Confirm", window, 0, kSessionTimeout);
  ASSERT_NE(box, nullptr);
  EXPECT_NE(gui::MessageText(box).find("ready to perform post-install data recording"),
            std::string::npos);
  gui::Answer(box, IDYES);
  ASSERT_TRUE(gui::WaitFor([&] { return gui::Visible(Item(IDC_meRept)); }, kSessionTimeout));
  const std::string body = Report("RPT_0000.TXT");
  EXPECT_NE(body.find("Two-phase tracking\r\n"), std::string::npos) << body;
  EXPECT_NE(body.find("FILES AND DIRECTORIES ADDED: (1)\r\n" + watch + "\\between.txt\r\n"),
            std::string::npos)
      << body;
  EXPECT_EQ(Setting("TwoPhase", "TwoPhase"), "<missing>");
  EXPECT_EQ(Close(), 0);
  EXPECT_FALSE(Exists(temp + "VORTAN$$.$$1"));  // reported: the snapshots go
}

TEST_F(Session, DeclinedContinuationKeepsTheSnapshotsForNow) {
  ASSERT_NO_FATAL_FAILURE(RecordTheFirstPhase());

  Start("win98");
  HWND box = gui::WaitTop("#32770", "Confirm", window, 0, kSessionTimeout);
  ASSERT_NE(box, nullptr);
  gui::Answer(box, IDNO);
  EXPECT_TRUE(gui::Visible(Item(IDC_btnInstall)));
  EXPECT_EQ(Setting("TwoPhase", "TwoPhase"), "<missing>");
  EXPECT_EQ(Close(), 0);
  EXPECT_TRUE(Exists(temp + "VORTAN$$.$$1"));
}

TEST_F(Session, WindowsRestartDuringAnInstallIsHeldOffAndContinued) {
  Start("win98");
  ChooseProgram(kFakeSetup, "spawn 0 1 " + watch + "\\slow- 30000", IDC_rbTmTime);
  Type(IDC_ebName, "Before and after");
  gui::ClickAsync(Item(IDC_btnInstall));
  ASSERT_TRUE(gui::WaitFor([&] { return IsIconic(window) != FALSE; }, kSessionTimeout));
  ASSERT_TRUE(gui::WaitFor([&] { return ProcessRunning("fakesetup.exe"); }));
  EXPECT_EQ(SendMessageA(window, WM_QUERYENDSESSION, 0, 0), 0);
  // A second after the refusal the session is saved, then the program closes itself.
  EXPECT_EQ(app->WaitExit(kSessionTimeout), 0);
  window = nullptr;
  EXPECT_EQ(Setting("TwoPhase", "TwoPhase"), "2");
  EXPECT_EQ(Setting("TwoPhase", "TrackMode"), "2");
  EXPECT_EQ(Setting("TwoPhase", "StatMask"), "1275");
  char runOnce[MAX_PATH] = "";
  DWORD size = sizeof runOnce;
  EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                         "VORTAN4", RRF_RT_REG_SZ, nullptr, runOnce, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(engines::LowerAscii(runOnce), engines::LowerAscii(exe));
  RegDeleteKeyValueA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                     "VORTAN4");
  EXPECT_TRUE(Exists(temp + "REG$$$$$.$$1"));

  // After the restart: the report comes without a question.
  outside.Write("watch\\after-restart.txt", "x");
  Start("win98");
  ASSERT_TRUE(gui::WaitFor([&] { return gui::Visible(Item(IDC_meRept)); }, kSessionTimeout));
  const std::string body = Report("RPT_0000.TXT");
  EXPECT_NE(body.find("Windows was restarted\r\n"), std::string::npos) << body;
  // The user's description, not the program's name its restore brought.
  EXPECT_EQ(body.rfind("Installation report: Before and after\r\n", 0), 0u) << body;
  EXPECT_NE(body.find(watch + "\\after-restart.txt\r\n"), std::string::npos) << body;
}

}  // namespace
}  // namespace gui_tests
