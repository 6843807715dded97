// The about box and the default folders dialog, opened from the main window.
#include <cstdint>

#include "dialog_steps.h"
#include "dialogs/AboutBox_ids.h"
#include "dialogs/pathsu_ids.h"

namespace gui_tests {
namespace {

// A checksum of what the screen shows in a rectangle.
uint32_t ScreenSum(const RECT& r) {
  const int w = r.right - r.left, h = r.bottom - r.top;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  uint32_t sum = 0;
  for (int i = 0; i < w * h; ++i) sum = sum * 31 + static_cast<const uint32_t*>(bits)[i];
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return sum;
}

using OptionDialogs = Vortan4;

TEST_F(OptionDialogs, AboutBoxShowsVersionsAndMovesItsPicture) {
  // The stand-in driver beside the program answers 0x0102; on NT it is not asked.
  const struct {
    const char* version;
    const char* windowsName;
    const char* driverLine;
  } systems[] = {{"win98", "Windows 98", "VORTTRAP.VXD version 1.02"},
                 {"nt40", "Windows NT4", ""}};
  for (const auto& system : systems) {
    Start(system.version);
    HWND about = OpenDialog(Item(IDC_btnAbout), "About Vortan4", window);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(gui::Text(GetDlgItem(about, IDC_lblVersion)), "Vortan4 - version 4.0.0.1");
    EXPECT_EQ(gui::Text(GetDlgItem(about, IDC_lblWinVer)), system.windowsName);
    EXPECT_EQ(gui::Text(GetDlgItem(about, IDC_lblVxdVersion)), system.driverLine);
    RECT client{};
    GetClientRect(about, &client);
    EXPECT_EQ(client.right, 390);
    EXPECT_EQ(client.bottom, 178);
    SetWindowPos(about, nullptr, 70, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    gui::Answer(about, IDOK);
    EXPECT_EQ(Close(), 0);
  }

  // The same place next time, no driver line once the driver has gone, and a picture that
  // changes while the box is open. The loaded stand-in can be moved away, not deleted.
  Start();
  ASSERT_TRUE(MoveFileA((folder / "VORTTRAP.VXD").c_str(), (folder / "GONE.VXD").c_str()));
  HWND about = OpenDialog(Item(IDC_btnAbout), "About Vortan4", window);
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(gui::Text(GetDlgItem(about, IDC_lblVxdVersion)), "");
  EXPECT_EQ(RectOf(about).left, 70);
  EXPECT_EQ(RectOf(about).top, 80);
  SetForegroundWindow(about);
  const RECT picture = RectOf(GetDlgItem(about, IDC_Image1));
  EXPECT_EQ(picture.right - picture.left, 48);
  const uint32_t resting = ScreenSum(picture);
  EXPECT_TRUE(gui::WaitFor([&] { return ScreenSum(picture) != resting; }, 10000));
  gui::Answer(about, IDOK);
}

TEST_F(OptionDialogs, DefaultFoldersChosenWithTheBrowser) {
  folder.MakeFolder("reports");
  folder.MakeFolder("temp");
  Start("nt40");
  const std::string defaultName = Text(IDC_ebReportName);
  HWND paths = OpenDialog(Item(IDC_btnPath), "Vortan4 - Set default folders", window);
  ASSERT_NE(paths, nullptr);
  HWND reportPath = GetDlgItem(paths, IDC_ebReportPath);
  EXPECT_EQ(gui::Text(reportPath), LowerFolder());
  EXPECT_EQ(gui::Text(GetDlgItem(paths, IDC_ebTempPath)), LowerFolder());

  // The browser opens on the current folder; Cancel there keeps it.
  HWND browser = OpenDialog(GetDlgItem(paths, IDC_btnReports), kBrowserCaption, paths);
  ASSERT_NE(browser, nullptr);
  EXPECT_EQ(gui::Text(GetDlgItem(browser, kBrowserTitle)),
            "Vortan4 - Select default folder for reports");
  EXPECT_EQ(engines::LowerAscii(gui::Text(GetDlgItem(browser, kBrowserStatus)) + "\\"),
            LowerFolder());
  gui::Answer(browser, IDCANCEL);
  EXPECT_EQ(gui::Text(reportPath), LowerFolder());

  auto choose = [&](int button, const std::string& chosen) {
    browser = OpenDialog(GetDlgItem(paths, button), kBrowserCaption, paths);
    SelectInBrowser(browser, chosen);
    gui::Answer(browser, IDOK);
  };
  choose(IDC_btnReports, folder / "reports");
  EXPECT_EQ(gui::Text(reportPath), folder / "reports");
  gui::Answer(paths, IDCANCEL);
  ASSERT_TRUE(gui::Responsive(window));
  EXPECT_EQ(Text(IDC_ebReportName), defaultName);
  EXPECT_EQ(Setting("Settings", "ReptPath"), "<missing>");

  // Widening stretches the fields and keeps OK and Cancel at the right; the height stays.
  paths = OpenDialog(Item(IDC_btnPath), "Vortan4 - Set default folders", window);
  ASSERT_NE(paths, nullptr);
  reportPath = GetDlgItem(paths, IDC_ebReportPath);
  const RECT before = RectOf(paths), editBefore = RectOf(reportPath),
             okBefore = RectOf(GetDlgItem(paths, IDOK));
  SetWindowPos(paths, nullptr, 0, 0, before.right - before.left + 100, 300,
               SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(RectOf(paths).bottom - RectOf(paths).top, 120);
  EXPECT_EQ(RectOf(reportPath).right - editBefore.right, 100);
  EXPECT_EQ(RectOf(GetDlgItem(paths, IDOK)).left - okBefore.left, 100);
  EXPECT_EQ(RectOf(GetDlgItem(paths, IDOK)).left - RectOf(GetDlgItem(paths, IDCANCEL)).right, 6);

  choose(IDC_btnReports, folder / "reports");
  choose(IDC_btnTemp, folder / "temp");
  // Help opens the help file at the dialog's topic.
  gui::ClickAsync(GetDlgItem(paths, IDC_PathsForm_btnHelp));
  HWND help = WaitHelpTopic(app->Id(), "Default folders");
  ASSERT_NE(help, nullptr);
  PostMessageA(help, WM_CLOSE, 0, 0);
  gui::WaitFor([&] { return !IsWindow(help); });
  gui::Answer(paths, IDOK);
  ASSERT_TRUE(gui::Responsive(window));
  EXPECT_EQ(Text(IDC_ebReportName), folder / "reports\\RPT_0000.TXT");
  EXPECT_EQ(Setting("Settings", "ReptPath"), folder / "reports\\");
  EXPECT_EQ(Setting("Settings", "TempPath"), folder / "temp\\");
}

}  // namespace
}  // namespace gui_tests
