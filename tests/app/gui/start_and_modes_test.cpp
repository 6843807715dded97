// The real program under Windows 98, NT 4 and 2000: what the user sees after the start,
// and how the install program field decides the modes offered.
#include "platform/owners.h"
#include "support/sample_programs.h"
#include "vortan4_app.h"

namespace gui_tests {
namespace {

using testing_support::WriteComProgram;
using testing_support::WriteDosProgram;
using testing_support::WriteWin32Program;

struct Modes {
  bool real, time, disk;        // enabled
  bool realOn, timeOn, diskOn;  // checked
  bool go;                      // "&GO!" enabled
  bool operator==(const Modes& o) const {
    return real == o.real && time == o.time && disk == o.disk && realOn == o.realOn &&
           timeOn == o.timeOn && diskOn == o.diskOn && go == o.go;
  }
};

std::ostream& operator<<(std::ostream& out, const Modes& m) {
  return out << "enabled " << m.real << m.time << m.disk << " checked " << m.realOn << m.timeOn
             << m.diskOn << " go " << m.go;
}

class StartAndModes : public Vortan4 {
 protected:
  Modes ModesShown() const {
    return {Enabled(IDC_rbTmReal), Enabled(IDC_rbTmTime), Enabled(IDC_rbTmDisk),
            Checked(IDC_rbTmReal), Checked(IDC_rbTmTime), Checked(IDC_rbTmDisk),
            Enabled(IDC_btnInstall)};
  }
};

const Modes kAllRealChecked{true, true, true, true, false, false, true};
const Modes kComparisonDiskChecked{false, true, true, false, false, true, true};
const Modes kNone{false, false, false, false, false, false, false};

TEST_F(StartAndModes, FirstStartUnderWindows98) {
  Start("win98");
  char caption[64] = "";
  GetWindowTextA(window, caption, sizeof caption);
  EXPECT_STREQ(caption, kCaption);
  RECT client{}, frame{};
  GetClientRect(window, &client);
  GetWindowRect(window, &frame);
  EXPECT_EQ(client.right, 604);
  EXPECT_EQ(client.bottom, 313);
  // No settings yet: centred on the screen.
  EXPECT_EQ(frame.left, (GetSystemMetrics(SM_CXSCREEN) - (frame.right - frame.left)) / 2);
  EXPECT_EQ(frame.top, (GetSystemMetrics(SM_CYSCREEN) - (frame.bottom - frame.top)) / 2);

  EXPECT_TRUE(gui::Visible(Item(IDC_ebInstallProg)));
  EXPECT_FALSE(gui::Visible(Item(IDC_btnInstDone)));
  EXPECT_FALSE(gui::Visible(Item(IDC_meRept)));
  EXPECT_EQ(Text(IDC_ebName), "(no program)");
  EXPECT_EQ(Text(IDC_lbExeType), "(no program)");
  EXPECT_EQ(Text(IDC_ebReportName), LowerFolder() + "RPT_0000.TXT");
  EXPECT_EQ(Text(IDC_lbReportName), Text(IDC_ebReportName));
  EXPECT_EQ(ModesShown(), kAllRealChecked);
  EXPECT_FALSE(Enabled(IDC_btnInstDone));
  EXPECT_EQ(Text(IDC_btnInstall), "&GO!");
  // Made at the start, not at the first launch: the end of a Windows session sets it.
  platform::Handle allStop(OpenEventA(SYNCHRONIZE, FALSE, "Quennel VORTAN4 AllStop Event"));
  ASSERT_TRUE(allStop.valid());
  EXPECT_EQ(WaitForSingleObject(allStop.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

  EXPECT_EQ(Close(), 0);
  EXPECT_EQ(Setting("Settings", "LastRept"), "1");
  EXPECT_EQ(Setting("Settings", "InstPath"), "c:\\");
  EXPECT_EQ(Setting("Settings", "Left"), std::to_string(frame.left));
  EXPECT_EQ(Setting("Settings", "Top"), std::to_string(frame.top));
}

TEST_F(StartAndModes, Nt4OffersOnlyTheComparisonModes) {
  Start("nt40");
  EXPECT_EQ(ModesShown(), kComparisonDiskChecked);
  WriteWin32Program(folder, "setup.exe");
  Type(IDC_ebInstallProg, folder / "setup.exe");
  EXPECT_EQ(Text(IDC_lbExeType), "32-bit Windows Executable");
  EXPECT_EQ(ModesShown(), kComparisonDiskChecked);
  // The binary type knows nothing of batch files and .INF files.
  folder.Write("install.bat", "@echo off\r\n");
  Type(IDC_ebInstallProg, folder / "install.bat");
  EXPECT_EQ(Text(IDC_lbExeType), "Not an executable file");
  folder.Write("setup.inf", "[Version]\r\nSignature=$CHICAGO$\r\n");
  Type(IDC_ebInstallProg, folder / "setup.inf");
  EXPECT_EQ(Text(IDC_lbExeType), "Not an executable file");
  WriteComProgram(folder, "setup.com");
  Type(IDC_ebInstallProg, folder / "setup.com");
  EXPECT_EQ(Text(IDC_lbExeType), "DOS COM file");
  // Coming from a bad name nothing is checked, so the user has to choose.
  EXPECT_EQ(ModesShown(), (Modes{false, true, true, false, false, false, false}));
}

TEST_F(StartAndModes, Windows2000OffersNoMode) {
  Start("win2k");
  EXPECT_EQ(ModesShown(), kNone);
  WriteWin32Program(folder, "setup.exe");
  Type(IDC_ebInstallProg, folder / "setup.exe");
  EXPECT_EQ(Text(IDC_lbExeType), "32-bit Windows Executable");
  EXPECT_EQ(ModesShown(), kNone);
}

TEST_F(StartAndModes, InstallProgramKindsUnderWindows98) {
  WriteWin32Program(folder, "setup.exe");
  WriteWin32Program(folder, "other.exe");
  WriteDosProgram(folder, "dosinst.exe");
  WriteComProgram(folder, "dosinst.com");
  folder.Write("install.bat", "@echo off\r\n");
  folder.Write("setup.inf", "[Version]\r\nSignature=$CHICAGO$\r\n");
  Start("win98");

  Type(IDC_ebInstallProg, folder / "setup.exe");
  EXPECT_EQ(Text(IDC_lbExeType), "32-bit Windows Executable");
  EXPECT_EQ(Text(IDC_ebName), "setup");
  EXPECT_EQ(ModesShown(), kAllRealChecked);
  // Same kind of program: the description the user typed stays.
  Type(IDC_ebName, "My install");
  Type(IDC_ebInstallProg, folder / "other.exe");
  EXPECT_EQ(Text(IDC_ebName), "My install");

  Type(IDC_ebInstallProg, folder / "dosinst.exe");
  EXPECT_EQ(Text(IDC_lbExeType), "DOS EXE file");
  EXPECT_EQ(Text(IDC_ebName), "dosinst");
  EXPECT_EQ(ModesShown(), kComparisonDiskChecked);
  gui::Click(Item(IDC_rbTmTime));
  Type(IDC_ebInstallProg, folder / "dosinst.com");
  EXPECT_EQ(Text(IDC_lbExeType), "DOS COM file");
  EXPECT_EQ(ModesShown(), (Modes{false, true, true, false, true, false, true}));

  // Wine's shell gives no type for a batch file.
  Type(IDC_ebInstallProg, folder / "install.bat");
  EXPECT_EQ(Text(IDC_lbExeType), "Not an executable file");
  EXPECT_EQ(Text(IDC_ebName), "(no program)");
  EXPECT_EQ(ModesShown(), kNone);

  Type(IDC_ebInstallProg, folder / "setup.inf");
  EXPECT_EQ(Text(IDC_lbExeType), "Setup .INF file");
  EXPECT_EQ(ModesShown(), kAllRealChecked);

  Type(IDC_ebInstallProg, folder / "missing.exe");
  EXPECT_EQ(Text(IDC_lbExeType), "File does not exist");
  EXPECT_EQ(ModesShown(), kNone);

  Type(IDC_ebInstallProg, folder / "setup.ex");
  EXPECT_EQ(Text(IDC_lbExeType), "");
  EXPECT_EQ(ModesShown(), kNone);

  // Parameters without a program cannot be run.
  Type(IDC_ebInstallProg, "");
  EXPECT_EQ(Text(IDC_lbExeType), "(no program)");
  EXPECT_EQ(Text(IDC_ebName), "(no program)");
  EXPECT_TRUE(Enabled(IDC_btnInstall));
  Type(IDC_ebParams, "/s");
  EXPECT_FALSE(Enabled(IDC_btnInstall));
  Type(IDC_ebInstallProg, folder / "setup.exe");
  EXPECT_TRUE(Enabled(IDC_btnInstall));
}

TEST_F(StartAndModes, DefaultReportNameIsTheFirstFreeOne) {
  folder.Write("RPT_0000.TXT", "");
  folder.Write("RPT_0001.TXT", "");
  folder.Write("reports\\RPT_0000.CSV", "");
  Start();
  EXPECT_EQ(Text(IDC_ebReportName), LowerFolder() + "RPT_0002.TXT");
  EXPECT_EQ(Close(), 0);

  folder.Write("VORTAN4.INI",
               "[Settings]\r\nLastRept=2\r\nReptPath=" + folder / "reports" + "\r\n");
  Start();
  EXPECT_EQ(Text(IDC_ebReportName), folder / "reports\\RPT_0001.CSV");
  EXPECT_EQ(Close(), 0);
  EXPECT_EQ(Setting("Settings", "LastRept"), "2");
}

}  // namespace
}  // namespace gui_tests
