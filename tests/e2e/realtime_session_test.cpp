// Real-time sessions through the real window under Windows 98, with the trap driver
// stand-in beside the program: rtsetup.exe makes its changes, which the capture in it
// reports into the driver's feed when the program traces it (run from the test, it
// reports them itself). The report must list exactly those, folded, checked against the
// disk, filtered and named by process.
#include <sstream>

#include "app/gui/vortan4_app.h"
#include "report_reader.h"
#include "support/temp_folder.h"

namespace e2e {
namespace {

const char kSetup[] = "C:\\tests\\programs\\rtsetup.exe";
const char kFailed[] = "Failed to open ";

class RealTimeSession : public gui_tests::Vortan4 {
 protected:
  // No INI file is watched, so the report holds the real-time sections only.
  void SetUp() override {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\RtSetup");
    for (const char* name : {"old.txt", "same.txt", "gone.txt", "ren.txt"})
      work.Write(name, std::string("before: ") + name);
    folder.MakeFolder("temp");
    std::ostringstream ini;
    ini << "[Settings]\r\nDrivesInitialized=1\r\nINIsInitialized=1\r\nRegInitialized=1\r\n"
        << "ReptPath=" << folder.Path() << "\r\nTempPath=" << folder / "temp\\" << "\r\n";
    folder.Write("VORTAN4.INI", ini.str());
  }
  void TearDown() override {
    if (app && window && IsWindow(window)) {
      EXPECT_EQ(Close(), 0);
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\RtSetup");
  }

  // The text form after its header, and the CSV rows after the header rows.
  void ReadReport() {
    const std::string all = folder.Read("RPT_0000.TXT");
    report = ParseTextReport(all);
    reportText = all.substr(all.find("\r\n\r\n") + 4);
    const std::vector<std::string> lines = CrLfLines(folder.Read("EXTRARPT.CSV"));
    reportCsv.clear();
    for (size_t i = 3; i < lines.size(); ++i) reportCsv += lines[i] + "\n";
  }

  // What rtsetup leaves, as the report prints it.
  std::string ExpectedText() const {
    const std::string p = work.Path(), by = "---by process rtsetup.exe\r\n";
    return "REGISTRY KEYS ADDED: (1)\r\n" + by + "HKEY_LOCAL_MACHINE\\Software\\RtSetup\r\n\r\n" +
           "REGISTRY KEY VALUES ADDED: (4)\r\n" + by +
           "HKEY_LOCAL_MACHINE\\Software\\RtSetup Version=1.0\r\n"
           "HKEY_LOCAL_MACHINE\\Software\\RtSetup Count=4294967295\r\n"
           "HKEY_LOCAL_MACHINE\\Software\\RtSetup @=default\r\n"
           "HKEY_LOCAL_MACHINE\\Software\\RtSetup @@=at\r\n\r\n" +
           "FILES ADDED: (3)\r\n" + by + p + "sub\\new.txt\r\n" + p + "renamed.txt\r\n" + by + p +
           "child.txt\r\n\r\n" + "FILES DELETED: (2)\r\n" + by + p + "gone.txt\r\n" + p +
           "ren.txt\r\n\r\n" + "FILES CHANGED: (1)\r\n" + by + p + "old.txt\r\n\r\n" +
           "DIRECTORIES ADDED: (1)\r\n" + by + p + "sub\r\n\r\n";
  }
  std::string ExpectedCsv() const {
    const std::string p = work.Path(), key = R"("HKEY_LOCAL_MACHINE\Software\RtSetup")";
    auto file = [&](const char* sub, const std::string& name) {
      return std::string(R"("File",")") + sub + R"(",")" + p + name +
             R"(","","","","","","","rtsetup.exe")" + "\n";
    };
    return R"("Registry","Add Key","","",)" + key + R"(,"","","","","rtsetup.exe")" + "\n" +
           R"("Registry","Add Value","","",)" + key + R"(,"","Version","1.0","","rtsetup.exe")" +
           "\n" + R"("Registry","Add Value","","",)" + key +
           R"(,"","Count","4294967295","","rtsetup.exe")" + "\n" + R"("Registry","Add Value","","",)" +
           key + R"(,"","@","default","","rtsetup.exe")" + "\n" + R"("Registry","Add Value","","",)" +
           key + R"(,"","@@","at","","rtsetup.exe")" + "\n" + file("Add File", "sub\\new.txt") +
           file("Add File", "renamed.txt") + file("Add File", "child.txt") +
           file("Del File", "gone.txt") + file("Del File", "ren.txt") +
           file("Change File", "old.txt") + file("Add Dir", "sub");
  }

  // Runs rtsetup from the test, as a user would from the desktop: the program does not
  // start it and it is told of no feed, so only the capture can report its changes.
  void RunSetupOutside() {
    gui::App setup(kSetup, work.Path());
    ASSERT_TRUE(setup.Started());
    EXPECT_EQ(setup.WaitExit(gui_tests::kSessionTimeout), 0);
  }

  // "&GO!" without a program in real-time mode: tracking runs until "Install &Complete".
  void GoWithoutProgram() {
    gui::Click(Item(IDC_rbTmReal));
    gui::ClickAsync(Item(IDC_btnInstall));
  }
  bool WaitForThePrompt() {
    return gui::WaitFor(
        [&] { return Enabled(IDC_btnInstDone) && gui::Visible(Item(IDC_stPlease)); },
        gui_tests::kSessionTimeout);
  }

  testing_support::TempFolder work;  // where rtsetup works: not the program's folder
  TextReport report;
  std::string reportText, reportCsv;
};

TEST_F(RealTimeSession, WithAnInstallProgram) {
  Start("win98");
  ChooseProgram(kSetup, work.Path(), IDC_rbTmReal);
  ASSERT_TRUE(GoAndWaitForTheInstall());
  ASSERT_TRUE(CompleteAndWaitForTheReport());
  ReadReport();
  EXPECT_EQ(report.header[5], "Notification by Real-time reporting");
  EXPECT_EQ(reportText, ExpectedText());
  EXPECT_EQ(reportCsv, ExpectedCsv());
}

TEST_F(RealTimeSession, WithoutAProgramUntilInstallComplete) {
  Start("win98");
  GoWithoutProgram();
  ASSERT_TRUE(WaitForThePrompt());
  EXPECT_EQ(Text(IDC_stPlease),
            "Click the Install Complete button when you are ready to stop tracking.");
  RunSetupOutside();
  ASSERT_TRUE(CompleteAndWaitForTheReport());
  ReadReport();
  EXPECT_EQ(reportText, ExpectedText());
  EXPECT_EQ(reportCsv, ExpectedCsv());
}

TEST_F(RealTimeSession, NothingDoneIsNoChanges) {
  Start("win98");
  GoWithoutProgram();
  ASSERT_TRUE(WaitForThePrompt());
  ASSERT_TRUE(CompleteAndWaitForTheReport());
  ReadReport();
  EXPECT_EQ(reportText, "NO CHANGES IN Registry\r\n\r\nNO CHANGES IN file system\r\n\r\n");
  EXPECT_EQ(reportCsv, "");
}

// The driver gone at start-up: the key query's box, then the notice, and the mode is not
// offered for the run.
TEST_F(RealTimeSession, MissingDriverDisablesTheMode) {
  withTrapDriver = false;
  ASSERT_TRUE(CopyFileA("C:\\tests\\VORTAN4.EXE", exe.c_str(), FALSE));
  ASSERT_TRUE(gui::SetWindowsVersion("VORTAN4.EXE", "win98"));
  app = std::make_unique<gui::App>(exe);
  HWND box = gui::WaitTop("#32770", "DEBUG", nullptr, app->Id());
  ASSERT_TRUE(box);
  EXPECT_EQ(gui::MessageText(box).rfind(kFailed, 0), 0u) << gui::MessageText(box);
  EXPECT_NE(gui::MessageText(box).find("VORTTRAP.VXD: File not found."), std::string::npos);
  gui::Answer(box, IDOK);
  box = gui::WaitTop("#32770", "Vortan4", nullptr, app->Id());
  ASSERT_TRUE(box);
  EXPECT_EQ(gui::MessageText(box),
            "Windows refused Vortan4 access to a value required for real-time reporting. "
            "Real-time reporting will be disabled.");
  gui::Answer(box, IDOK);
  window = app->WaitWindow(gui_tests::kCaption);
  ASSERT_TRUE(window);
  EXPECT_FALSE(Enabled(IDC_rbTmReal));
  EXPECT_TRUE(Checked(IDC_rbTmDisk));
  Type(IDC_ebInstallProg, kSetup);  // a new program does not bring the mode back
  EXPECT_FALSE(Enabled(IDC_rbTmReal));
  EXPECT_FALSE(Checked(IDC_rbTmReal));
}

// The driver gone after start-up: tracking cannot start, the user is told at once, and
// the report says the sections were not tracked instead of reporting no changes.
TEST_F(RealTimeSession, DriverGoneAtGoIsReportedNotTracked) {
  Start("win98");
  // The stand-in stays mapped once loaded, so it cannot be deleted, only moved away.
  ASSERT_TRUE(MoveFileA((folder / "VORTTRAP.VXD").c_str(), (folder / "GONE.VXD").c_str()));
  GoWithoutProgram();
  HWND box = gui::WaitTop("#32770", "Vortan4", nullptr, app->Id(), gui_tests::kSessionTimeout);
  ASSERT_TRUE(box);
  const std::string why = gui::MessageText(box);
  EXPECT_EQ(why.rfind(kFailed, 0), 0u) << why;
  gui::Answer(box, IDOK);
  ASSERT_TRUE(WaitForThePrompt());
  EXPECT_NE(Text(IDC_lbStatus).find(why), std::string::npos) << Text(IDC_lbStatus);
  ASSERT_TRUE(CompleteAndWaitForTheReport());
  ReadReport();
  EXPECT_EQ(reportText, "REGISTRY NOT TRACKED: " + why + "\r\n\r\nFILE SYSTEM NOT TRACKED: " + why +
                      "\r\n\r\n");
  EXPECT_EQ(reportCsv, R"("Registry","Not tracked","","","","","",")" + why + "\",\"\",\"\"\n" +
                     R"("File","Not tracked","","","","","",")" + why + "\",\"\",\"\"\n");
}

}  // namespace
}  // namespace e2e
