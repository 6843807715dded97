// A Windows restart or log-off asked for during a real-time session: the report of the
// changes so far, the restart choice, the continuation at the next start (Wine never
// runs the RunOnce entry of the current user, so the test starts the program itself, as
// a user would). Also the requests refused outside an install, and a declined
// continuation.
#include "dialogs/restfmu_ids.h"
#include "session_fixture.h"
#include "trapdriver/feed/feed.h"
#include "platform/owners.h"

namespace gui_tests {
namespace {

const char kRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char kTestKey[] = "Software\\VortanRestartTest";
const char kRtSetup[] = "C:\\tests\\programs\\rtsetup.exe";

bool Contains(const std::string& text, const std::string& part) {
  return engines::LowerAscii(text).find(engines::LowerAscii(part)) != std::string::npos;
}

// The driver's capture is in that process (it listens for the driver's stop).
bool HasCapture(DWORD processId) {
  platform::Handle stop(OpenEventA(SYNCHRONIZE, FALSE, trapfeed::StopEventName(processId).c_str()));
  return static_cast<bool>(stop);
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class Restart : public Session {
 protected:
  // A restart runs the machine's RunOnce entries; a log-off does not. The marker entry
  // tells which one the program asked for.
  void SetUp() override {
    Session::SetUp();
    marker = folder / "restarted.txt";
    const std::string command = std::string(kFakeSetup) + " write " + marker;
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, kRunOnce, "VortanTestMarker", REG_SZ, command.c_str(),
                    static_cast<DWORD>(command.size() + 1));
  }
  void TearDown() override {
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kRunOnce, "VortanTestMarker");
    RegDeleteKeyValueA(HKEY_CURRENT_USER, kRunOnce, "VORTAN4");
    RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\RtSetup");
  }

  bool RestartAskedFor() const { return gui::WaitFor([&] { return Exists(marker); }, 15000); }

  // The window closes by itself once the restart is prepared.
  void WaitForTheProgramToEnd() {
    EXPECT_EQ(app->WaitExit(kSessionTimeout), 0);
    window = nullptr;
  }

  // The entry that starts the program after the restart.
  std::string RunOnceEntry() const {
    char value[MAX_PATH] = "";
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, kRunOnce, "VORTAN4", RRF_RT_REG_SZ, nullptr, value, &size) !=
        ERROR_SUCCESS)
      return "<missing>";
    return engines::LowerAscii(value);
  }

  // Real-time reporting of an install that runs until the restart request comes.
  void StartAnInstallAndAskForARestart() {
    Start("win98");
    ChooseProgram(kFakeSetup, "spawn 0 1 " + watch + "\\slow- 30000", IDC_rbTmReal);
    Type(IDC_ebName, "Across the restart");
    gui::ClickAsync(Item(IDC_btnInstall));
    ASSERT_TRUE(gui::WaitFor([&] { return IsIconic(window) != FALSE; }, kSessionTimeout));
    ASSERT_TRUE(gui::WaitFor([&] { return ProcessRunning("fakesetup.exe"); }));
    ASSERT_NO_FATAL_FAILURE(MakeTrackedChanges());
    EXPECT_EQ(SendMessageA(window, WM_QUERYENDSESSION, 0, 0), 0);
  }

  // Changes that the trap driver hears of during the install: rtsetup makes them and
  // reports each into the driver's feed of the running program.
  void MakeTrackedChanges() {
    for (const char* name : {"old.txt", "same.txt", "gone.txt", "ren.txt"})
      work.Write(name, std::string("before: ") + name);
    // The driver puts its capture into this process too; rtsetup, started after that, is
    // traced from its start and leaves the reporting to the capture.
    ASSERT_TRUE(gui::WaitFor([] { return HasCapture(GetCurrentProcessId()); }, kSessionTimeout));
    gui::App setup(kRtSetup, work.Path());
    ASSERT_TRUE(setup.Started());
    EXPECT_EQ(setup.WaitExit(kSessionTimeout), 0);
  }

  std::string marker;
  testing_support::TempFolder work;  // where rtsetup works
};

struct Choice {
  const char* name;
  int button;       // 0: Enter at once
  const char* mode;  // the supplement's mode, or "1" when the changes are ignored
  const char* mask;
};

void PrintTo(const Choice& choice, std::ostream* out) { *out << choice.name; }

class RestartChoice : public Restart, public ::testing::WithParamInterface<Choice> {};

TEST_P(RestartChoice, RealTimeReportThenTheSupplementAtTheNextStart) {
  const Choice& choice = GetParam();
  ASSERT_NO_FATAL_FAILURE(StartAnInstallAndAskForARestart());
  HWND dialog = gui::WaitTop("#32770", "Vortan4 - Windows Restart Request", window, 0,
                             kSessionTimeout);
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(gui::Checked(gui::FindById(dialog, IDC_rbDisk)));
  EXPECT_NE(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  // Only OK closes it.
  PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  ASSERT_TRUE(gui::Responsive(dialog));
  EXPECT_TRUE(IsWindowVisible(dialog));
  if (choice.button == 0) {
    PostMessageA(gui::FindById(dialog, IDC_rbDisk), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(gui::WaitFor([&] { return !IsWindow(dialog); }));
  } else {
    gui::Click(gui::FindById(dialog, choice.button));
    gui::Answer(dialog, IDOK);
  }
  WaitForTheProgramToEnd();
  EXPECT_TRUE(RestartAskedFor());
  EXPECT_EQ(Setting("TwoPhase", "TwoPhase"), "3");
  EXPECT_EQ(Setting("TwoPhase", "TrackMode"), choice.mode);
  EXPECT_EQ(Setting("TwoPhase", "StatMask"), choice.mask);
  EXPECT_EQ(Setting("TwoPhase", "ReportDesc"), "Across the restart");
  EXPECT_EQ(RunOnceEntry(), engines::LowerAscii(exe));
  EXPECT_NE(Setting("RtRebootForm Settings", "Left"), "<missing>");
  const std::string before = Report("RPT_0000.TXT");
  EXPECT_EQ(before.rfind("Installation report: Across the restart\r\n", 0), 0u) << before;
  EXPECT_NE(before.find("Notification by Real-time reporting\r\n"), std::string::npos) << before;
  EXPECT_NE(before.find("HKEY_LOCAL_MACHINE\\Software\\RtSetup\r\n"), std::string::npos) << before;
  EXPECT_NE(before.find(work.Path() + "child.txt\r\n"), std::string::npos) << before;

  // What happens across the restart.
  outside.Write("watch\\after-restart.txt", "x");
  WritePrivateProfileStringA("Main", "Colour", "green", IniFile().c_str());
  RegSetKeyValueA(HKEY_CURRENT_USER, kTestKey, "Made", REG_SZ, "after", 6);
  const bool ignored = choice.mask == std::string("0");
  if (ignored) {
    EXPECT_TRUE(EndsWith(before, "Changes during Windows restart ignored.\r\n")) << before;
    EXPECT_TRUE(EndsWith(Report("EXTRARPT.CSV"),
                         "\"Header\",\"Changes during Windows restart ignored.\"\r\n"));
  } else {
    EXPECT_TRUE(Exists(temp + "REG$$$$$.$$1"));
    EXPECT_EQ(Exists(temp + "VORTAN$$.$$1"), choice.mode == std::string("3"));
  }

  Start("win98");
  ASSERT_TRUE(gui::WaitFor([&] { return gui::Visible(Item(IDC_meRept)); }, kSessionTimeout));
  EXPECT_EQ(Setting("TwoPhase", "TwoPhase"), "<missing>");
  EXPECT_EQ(Text(IDC_ebName), "Across the restart");
  const std::string after = Report("RPT_0000.TXT");
  ASSERT_EQ(after.compare(0, before.size(), before), 0) << "appended to";
  const std::string supplement = after.substr(before.size());
  if (ignored) {
    EXPECT_EQ(supplement, "");
    return;
  }
  EXPECT_EQ(supplement.rfind("\r\nSupplementary report on changes during Windows restart\r\n", 0),
            0u)
      << supplement;
  EXPECT_TRUE(Contains(supplement, watch + "\\after-restart.txt\r\n")) << supplement;
  EXPECT_TRUE(Contains(supplement, "[Main]Colour=red=to=green")) << supplement;
  EXPECT_TRUE(Contains(supplement, "VortanRestartTest")) << supplement;
}

INSTANTIATE_TEST_SUITE_P(
    Choices, RestartChoice,
    ::testing::Values(Choice{"FileTimes", IDC_rbTime, "2", "1264"},
                      Choice{"DiskContentsByEnter", 0, "3", "1008"},
                      Choice{"Ignored", IDC_rbNone, "1", "0"}),
    [](const ::testing::TestParamInfo<Choice>& info) { return std::string(info.param.name); });

TEST_F(Restart, RealTimeWithoutAProgramLogsOffWithoutAsking) {
  Start("win98");
  ASSERT_TRUE(Checked(IDC_rbTmReal));
  gui::ClickAsync(Item(IDC_btnInstall));
  ASSERT_TRUE(gui::WaitFor([&] { return Enabled(IDC_btnInstDone); }, kSessionTimeout));
  EXPECT_EQ(SendMessageA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), 0);
  WaitForTheProgramToEnd();
  EXPECT_EQ(Setting("TwoPhase", "TwoPhase"), "3");
  EXPECT_EQ(Setting("TwoPhase", "StatMask"), "0");
  EXPECT_EQ(Setting("TwoPhase", "TrackMode"), "1");
  EXPECT_TRUE(EndsWith(Report("RPT_0000.TXT"), "Changes during Windows restart ignored.\r\n"));
  // The session's end is wineboot's work, started by the program before it ended: once
  // that is over, a RunOnce entry would have run.
  EXPECT_TRUE(gui::WaitFor([] { return !ProcessRunning("wineboot.exe"); }, 15000));
  EXPECT_FALSE(Exists(marker)) << "a log-off runs no RunOnce entry";
}

// A request refused while no install runs is carried out when the window closes; the
// session goes on to its report meanwhile.
TEST_F(Restart, RefusedOnTheSetupPageTheSessionStillReports) {
  Start("win98");
  EXPECT_EQ(SendMessageA(window, WM_QUERYENDSESSION, 0, 0), 0);
  ChooseProgram(kFakeSetup, "write " + watch + "\\new.txt", IDC_rbTmDisk);
  ASSERT_TRUE(GoAndWaitForTheInstall());
  ASSERT_TRUE(CompleteAndWaitForTheReport());
  EXPECT_NE(Report("RPT_0000.TXT").find(watch + "\\new.txt\r\n"), std::string::npos);
  EXPECT_EQ(Setting("TwoPhase", "TwoPhase"), "<missing>");
  EXPECT_FALSE(Exists(marker));
  EXPECT_EQ(Close(), 0);
  EXPECT_TRUE(RestartAskedFor());
}

// Declining the second phase starts an ordinary session, and its report says so.
TEST_F(Restart, DeclinedContinuationThenAnOrdinarySession) {
  ASSERT_NO_FATAL_FAILURE(RecordTheFirstPhase());
  Start("win98");
  HWND box = gui::WaitTop("#32770", "Confirm", window, 0, kSessionTimeout);
  ASSERT_NE(box, nullptr);
  gui::Answer(box, IDNO);
  ChooseProgram(kFakeSetup, "write " + watch + "\\new.txt", IDC_rbTmDisk);
  ASSERT_TRUE(GoAndWaitForTheInstall());
  ASSERT_TRUE(CompleteAndWaitForTheReport());
  const std::string body = Report("RPT_0000.TXT");
  EXPECT_EQ(body.find("Two-phase tracking"), std::string::npos) << body;
  EXPECT_NE(body.find(watch + "\\new.txt\r\n"), std::string::npos) << body;
}

}  // namespace
}  // namespace gui_tests
