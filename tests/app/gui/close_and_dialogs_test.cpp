// The real program: closing and what it leaves behind, the one-copy rule, the file
// dialogs of page 0.
#include "support/sample_programs.h"
#include "vortan4_app.h"

namespace gui_tests {
namespace {

constexpr int kFileNameBox = 0x47C;  // cmb13 of the explorer-style file dialogs
constexpr int kFileTypeBox = 0x470;  // cmb1

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

BOOL CALLBACK CountMainWindow(HWND w, LPARAM data) {
  char caption[64] = "";
  GetWindowTextA(w, caption, sizeof caption);
  if (IsWindowVisible(w) && std::string(caption) == kCaption) ++*reinterpret_cast<int*>(data);
  return TRUE;
}

int CountMainWindows() {
  int count = 0;
  EnumWindows(CountMainWindow, reinterpret_cast<LPARAM>(&count));
  return count;
}

using CloseAndDialogs = Vortan4;

TEST_F(CloseAndDialogs, PlacementIsPulledOnScreenAndSavedWhenMinimised) {
  folder.Write("VORTAN4.INI", "[Settings]\r\nLeft=5000\r\nTop=4000\r\n");
  Start();
  RECT r{};
  GetWindowRect(window, &r);
  EXPECT_EQ(r.right, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(r.bottom, GetSystemMetrics(SM_CYSCREEN));

  SetWindowPos(window, nullptr, 100, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(window, SW_MINIMIZE);
  ASSERT_TRUE(gui::WaitFor([&] { return IsIconic(window) != FALSE; }));
  EXPECT_EQ(Close(), 0);
  // Not where the system parks a minimised window.
  EXPECT_EQ(Setting("Settings", "Left"), "100");
  EXPECT_EQ(Setting("Settings", "Top"), "120");
}

TEST_F(CloseAndDialogs, SecondStartRestoresTheFirstCopy) {
  Start();
  ShowWindow(window, SW_MINIMIZE);
  ASSERT_TRUE(gui::WaitFor([&] { return IsIconic(window) != FALSE; }));
  gui::App second(exe);
  ASSERT_TRUE(second.Started());
  EXPECT_EQ(second.WaitExit(), 0);
  EXPECT_TRUE(gui::WaitFor([&] { return !IsIconic(window); }));
  EXPECT_TRUE(gui::WaitFor([&] { return GetForegroundWindow() == window; }));
  EXPECT_EQ(CountMainWindows(), 1);
}

TEST_F(CloseAndDialogs, SnapshotFilesAreDeletedAtCloseUnlessKept) {
  const char* snapshots[] = {"VORTAN$$.$$1", "REG$$$$$.$$2", "DEV$$$$$.$$1",
                             "c__windows_win.$$1", "c__windows_control.$$2"};
  auto writeAll = [&] {
    for (const char* name : snapshots) folder.Write(name, "x");
    folder.Write("keep.$$1", "x");
  };
  auto present = [&] {
    int count = 0;
    for (const char* name : snapshots) count += Exists(folder / name);
    return count;
  };

  writeAll();
  Start("win98", "Debug");
  EXPECT_EQ(Close(), 0);
  EXPECT_EQ(present(), 5) << "\"debug\" keeps them";

  // A continuation pending: the next run needs them.
  folder.Write("VORTAN4.INI", "[TwoPhase]\r\nTwoPhase=1\r\n");
  Start("win98", "other");
  EXPECT_EQ(Close(), 0);
  EXPECT_EQ(present(), 5);

  DeleteFileA((folder / "VORTAN4.INI").c_str());
  Start();
  EXPECT_EQ(Close(), 0);
  EXPECT_EQ(present(), 0);
  EXPECT_TRUE(Exists(folder / "keep.$$1"));
}

TEST_F(CloseAndDialogs, RestartRefusedOnPageZeroHappensAtClose) {
  // Wine carries out the machine's RunOnce entries when it restarts: one of them leaves
  // a mark.
  const char kRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
  const std::string mark = folder / "restarted.txt";
  const std::string command = "cmd.exe /c echo restarted> \"" + mark + "\"";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunOnce, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  platform::RegKey runOnce(key);
  RegSetValueExA(key, "Vortan4Test", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                 static_cast<DWORD>(command.size() + 1));

  Start();
  EXPECT_EQ(SendMessageA(window, WM_QUERYENDSESSION, 0, 0), 0);
  EXPECT_FALSE(Exists(mark));
  app->Close(window);
  window = nullptr;
  EXPECT_TRUE(gui::WaitFor([&] { return Exists(mark); }, 15000));
  RegDeleteValueA(key, "Vortan4Test");
}

TEST_F(CloseAndDialogs, ReportFileDialogTakesTxtAndCsvOnly) {
  Start();
  const std::string before = Text(IDC_ebReportName);

  gui::ClickAsync(Item(IDC_btnSelect));
  HWND dialog = gui::WaitTop("#32770", "Choose Report Filename", window);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(gui::Text(gui::FindById(dialog, kFileTypeBox)), "Text report files");
  gui::SetText(gui::FindById(dialog, kFileNameBox), folder / "notes.doc");
  gui::Answer(dialog, IDOK);
  HWND box = gui::WaitTop("#32770", "Vortan4", window);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(gui::MessageText(box),
            "Your report filename must have an extension of .TXT (for a text report) or .CSV "
            "(for a comma-separated values report).");
  gui::Answer(box, IDOK);
  EXPECT_EQ(Text(IDC_ebReportName), before);

  gui::ClickAsync(Item(IDC_btnSelect));
  dialog = gui::WaitTop("#32770", "Choose Report Filename", window);
  ASSERT_NE(dialog, nullptr);
  gui::SetText(gui::FindById(dialog, kFileNameBox), folder / "mine.csv");
  gui::Answer(dialog, IDOK);
  EXPECT_EQ(Text(IDC_ebReportName), folder / "mine.csv");
  EXPECT_EQ(Text(IDC_lbReportName), folder / "mine.csv");
  EXPECT_EQ(Close(), 0);
  EXPECT_EQ(Setting("Settings", "LastRept"), "2");
}

TEST_F(CloseAndDialogs, BrowsingForTheInstallProgram) {
  testing_support::WriteWin32Program(folder, "setup.exe");
  Start();
  gui::ClickAsync(Item(IDC_btnBrowse));
  HWND dialog = gui::WaitTop("#32770", "Choose Install Program", window);
  ASSERT_NE(dialog, nullptr);
  gui::SetText(gui::FindById(dialog, kFileNameBox), folder / "setup.exe");
  gui::Answer(dialog, IDOK);
  EXPECT_EQ(Text(IDC_ebInstallProg), folder / "setup.exe");
  EXPECT_EQ(Text(IDC_lbExeType), "32-bit Windows Executable");
  EXPECT_EQ(Close(), 0);
  EXPECT_EQ(Setting("Settings", "InstPath"), folder.Path());
}

}  // namespace
}  // namespace gui_tests
