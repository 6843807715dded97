// The main window created in this process: what cannot be seen from outside (help
// contexts, tool tips, the session state) and the pages a session reaches later.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "app/mainu.h"
#include "app/mainu_ids.h"
#include "support/gui_driver.h"
#include "support/temp_folder.h"

using testing_support::TempFolder;

// The session state that the window keeps to itself.
class app::MainFormProbe {
 public:
  static session::Phase& Phase(TMainForm& form) { return form.phase; }
  static session::StatMask StatMask(const TMainForm& form) { return form.statMask; }
  static session::EndSessionKind EndSession(const TMainForm& form) { return form.endSessionKind; }
  static std::unique_ptr<TLaunchProgThread>& LaunchThread(TMainForm& form) {
    return form.launchThread;
  }
  static void ShowReportPreview(TMainForm& form) { form.ShowReportPreview(); }
};
using app::MainFormProbe;

namespace {

class MainWindow : public ::testing::Test {
 protected:
  MainWindow()
      : form(app::FindProgramPlaces(folder / "VORTAN4.EXE"), app::ThisWindows(), {}) {
    window = form.Create();
    ShowWindow(window, SW_SHOWNA);
  }

  TempFolder folder;
  app::TMainForm form;
  HWND window{};
};

// Answers the next message box of the owner from another thread while this thread sits
// in the code that shows it.
class BoxAnswerer {
 public:
  BoxAnswerer(HWND owner, int button)
      : worker_([this, owner, button] {
          HWND box = gui::WaitTop("#32770", nullptr, owner);
          if (!box) return;
          char caption[64] = "";
          GetWindowTextA(box, caption, sizeof caption);
          caption_ = caption;
          text_ = gui::MessageText(box);
          gui::Answer(box, button);
        }) {}
  ~BoxAnswerer() { Join(); }
  void Join() {
    if (worker_.joinable()) worker_.join();
  }
  const std::string& Caption() { return Join(), caption_; }
  const std::string& Text() { return Join(), text_; }

 private:
  std::string caption_, text_;
  std::thread worker_;
};

struct ToolSearch {
  HWND owner;
  HWND found;
};

BOOL CALLBACK MatchToolTips(HWND window, LPARAM data) {
  auto* s = reinterpret_cast<ToolSearch*>(data);
  char name[64] = "";
  GetClassNameA(window, name, sizeof name);
  if (lstrcmpiA(name, TOOLTIPS_CLASSA) != 0 || GetWindow(window, GW_OWNER) != s->owner) return TRUE;
  s->found = window;
  return FALSE;
}

std::string ToolText(HWND tips, HWND owner, HWND tool) {
  char text[256] = "";
  TOOLINFOA info{};
  info.cbSize = TTTOOLINFOA_V1_SIZE;
  info.hwnd = owner;
  info.uId = reinterpret_cast<UINT_PTR>(tool);
  info.lpszText = text;
  SendMessageA(tips, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&info));
  return text;
}

TEST_F(MainWindow, ControlsCarryHelpContextsAndHints) {
  HWND eye = gui::FindById(window, IDC_imStatEye);
  ASSERT_NE(eye, nullptr);
  EXPECT_EQ(GetParent(eye), form.pnlStatEye);
  // Contexts come from the code: Wine ignores those of the dialog templates.
  EXPECT_EQ(GetWindowContextHelpId(form.ebInstallProg), 5u);
  EXPECT_EQ(GetWindowContextHelpId(form.lbStat[0]), 43u);
  EXPECT_EQ(GetWindowContextHelpId(form.lbStat[11]), 54u);
  EXPECT_EQ(GetWindowContextHelpId(eye), 55u);
  EXPECT_EQ(GetWindowContextHelpId(form.btnPath), 60u);
  EXPECT_EQ(GetWindowContextHelpId(form.stPlease), 71u);
  EXPECT_EQ(GetWindowContextHelpId(form.btnPackage), 72u);
  EXPECT_EQ(GetWindowContextHelpId(form.btnUndoOld), 74u);

  ToolSearch search{window, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), MatchToolTips, reinterpret_cast<LPARAM>(&search));
  ASSERT_NE(search.found, nullptr);
  // Every control with a context has a hint, but for the about button and the prompt.
  EXPECT_EQ(SendMessageA(search.found, TTM_GETTOOLCOUNT, 0, 0), 41);
  EXPECT_EQ(ToolText(search.found, window, form.btnInstall), "Begin tracking and installation.");
  EXPECT_EQ(ToolText(search.found, window, eye),
            "The eye's position indicates the current activity.");
  EXPECT_EQ(ToolText(search.found, window, form.rbTmDisk),
            "See the Help for a detailed description.");
}

TEST_F(MainWindow, GoIsBoldRedAndLarger) {
  LOGFONTA go{}, normal{};
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(form.btnInstall, WM_GETFONT, 0, 0)), sizeof go, &go);
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(form.btnCancel, WM_GETFONT, 0, 0)), sizeof normal,
             &normal);
  EXPECT_EQ(go.lfWeight, FW_BOLD);
  EXPECT_GT(std::abs(go.lfHeight), std::abs(normal.lfHeight));
  EXPECT_TRUE(GetWindowLongA(form.btnInstall, GWL_STYLE) & BS_OWNERDRAW);

  // Red pixels in the caption while enabled, none once disabled.
  auto redPixels = [&] {
    gui::SettlePaint(form.btnInstall);
    RECT r{};
    GetClientRect(form.btnInstall, &r);
    HDC dc = GetDC(form.btnInstall);
    int red = 0;
    for (int y = 0; y < r.bottom; ++y)
      for (int x = 0; x < r.right; ++x) {
        COLORREF c = GetPixel(dc, x, y);
        red += GetRValue(c) > 150 && GetGValue(c) < 60 && GetBValue(c) < 60;
      }
    ReleaseDC(form.btnInstall, dc);
    return red;
  };
  EXPECT_GT(redPixels(), 20);
  gui::SetText(form.ebParams, "/s");
  EXPECT_FALSE(IsWindowEnabled(form.btnInstall));
  EXPECT_EQ(redPixels(), 0);
}

TEST_F(MainWindow, StepRowsEyeAndStatusLine) {
  form.ShowPage(1);
  form.PutStatMaskInForce(app::ModeMask(app::tmDisk, app::itDosBatch));
  std::string enabledRows;
  for (HWND row : form.lbStat) enabledRows += IsWindowEnabled(row) ? '1' : '0';
  EXPECT_EQ(enabledRows, "001100001100");
  EXPECT_EQ(MainFormProbe::StatMask(form), 0x30Cu);

  for (int row : {0, 5, 11}) {
    form.MoveStatusEye(row);
    RECT eye{}, label{};
    GetWindowRect(form.pnlStatEye, &eye);
    GetWindowRect(form.lbStat[row], &label);
    EXPECT_EQ(eye.top, label.top) << row;
    EXPECT_LT(eye.right, label.left);
  }
  form.ShowStatus("c:\\windows\\system.ini");
  EXPECT_EQ(gui::Text(form.lbStatus), "c:\\windows\\system.ini");
}

// Counts the texts that reach the status line.
int statusTexts = 0;
WNDPROC statusProc = nullptr;
LRESULT CALLBACK CountTexts(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETTEXT) ++statusTexts;
  return CallWindowProcA(statusProc, window, message, wParam, lParam);
}

TEST_F(MainWindow, StatusLineTakesAFewTextsAndAlwaysTheLast) {
  form.ShowPage(1);
  statusProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(form.lbStatus, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountTexts)));
  for (int i = 0; i < 2000; ++i) form.ShowProgress("key " + std::to_string(i));
  EXPECT_EQ(gui::Text(form.lbStatus).substr(0, 4), "key ");
  EXPECT_LT(statusTexts, 100);
  form.MoveStatusEye(app::stRegistryAfter);  // the step ends
  EXPECT_EQ(gui::Text(form.lbStatus), "key 1999");
  // The next step's first text comes at once; one held back comes with the messages,
  // and a text of the session's own at once.
  form.ShowProgress("c:\\");
  EXPECT_EQ(gui::Text(form.lbStatus), "c:\\");
  form.ShowProgress("c:\\windows\\system");
  EXPECT_TRUE(gui::WaitFor([&] { return gui::Text(form.lbStatus) != "c:\\"; }));
  EXPECT_EQ(gui::Text(form.lbStatus), "c:\\windows\\system");
  form.ShowProgress("c:\\windows");
  form.ShowStatus("Installation in progress");
  EXPECT_EQ(gui::Text(form.lbStatus), "Installation in progress");
  SetWindowLongPtrA(form.lbStatus, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(statusProc));
}

TEST_F(MainWindow, PreviewShowsAReportOrTheBeginningOfALongOne) {
  // Lines of one length, so that a line cut short would show.
  auto lines = [](int count) {
    std::string text;
    char line[64];
    for (int i = 0; i < count; ++i) {
      std::snprintf(line, sizeof line, "C:\\Program Files\\Sample\\file%07d.dll\r\n", i);
      text += line;
    }
    return text;
  };
  const std::string shortReport = lines(100), longReport = lines(2000);  // 84,000 bytes
  const std::string note = app::kPreviewNote;
  form.ShowPage(2);
  struct Case {
    std::string name, file, shown;
  } cases[] = {
      {"missing.txt", "", ""},
      {"short.txt", shortReport, shortReport},
      {"long.txt", longReport, ""},  // last: the control of Wine is slow to clear a long text
  };
  for (const Case& c : cases) {
    if (!c.file.empty()) folder.Write(c.name, c.file);
    gui::SetText(form.ebReportName, folder / c.name);
    MainFormProbe::ShowReportPreview(form);
    const std::string shown = gui::Text(form.meRept);
    if (c.name != "long.txt") {
      EXPECT_EQ(shown, c.shown) << c.name;
      continue;
    }
    ASSERT_GT(shown.size(), note.size());
    EXPECT_EQ(shown.substr(shown.size() - note.size()), note);
    const std::string beginning = shown.substr(0, shown.size() - note.size());
    EXPECT_LE(beginning.size(), app::kPreviewLimit);
    EXPECT_GT(beginning.size(), app::kPreviewLimit - 41);  // 41 bytes a line
    EXPECT_EQ(beginning, longReport.substr(0, beginning.size()));
    EXPECT_EQ(beginning.substr(beginning.size() - 2), "\r\n");  // whole lines only
  }
}

TEST_F(MainWindow, ClosingDuringASessionAsksFirst) {
  MainFormProbe::Phase(form) = app::phInstalling;
  {
    BoxAnswerer no(window, IDNO);
    form.Close();
    EXPECT_EQ(no.Caption(), "Confirm");
    EXPECT_EQ(no.Text(),
              "Vortan4 is tracking an install program at this time. If you close Vortan4, you "
              "will not get a report on this installation. Do you really want to close Vortan4?");
  }
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(MainFormProbe::Phase(form), app::phInstalling);

  // An install program that runs for a while under the debugging interface.
  app::LaunchRequest request;
  request.commandLine = "C:\\tests\\programs\\fakesetup.exe spawn 0 1 C:\\vortan4-tests\\halt- 3000";
  request.notifyWindow = window;
  auto& launch = MainFormProbe::LaunchThread(form);
  launch = std::make_unique<app::TLaunchProgThread>(request);
  ASSERT_TRUE(gui::WaitFor([&] { return launch->Debugging(); }));
  {
    BoxAnswerer no(window, IDNO);
    form.Close();
    EXPECT_EQ(no.Caption(), "Warning");
    EXPECT_NE(no.Text().find("closing Vortan4 will *HALT* the install program."),
              std::string::npos);
  }
  EXPECT_TRUE(IsWindow(window));
  {
    BoxAnswerer yes(window, IDYES);
    form.Close();
  }
  launch.reset();
  EXPECT_FALSE(IsWindow(window));
}

TEST_F(MainWindow, ClosingWhenDoneDoesNotAsk) {
  MainFormProbe::Phase(form) = app::phDone;
  form.Close();  // a question here would never be answered
  EXPECT_FALSE(IsWindow(window));
}

TEST_F(MainWindow, EndOfSessionIsRefusedOnceAndRemembered) {
  EXPECT_EQ(SendMessageA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), 0);
  EXPECT_EQ(MainFormProbe::EndSession(form), app::esLogoff);
  // The program's own request, made when it closes, is let through.
  EXPECT_NE(SendMessageA(window, WM_QUERYENDSESSION, 0, 0), 0);
  EXPECT_EQ(MainFormProbe::EndSession(form), app::esLogoff);
  // Closing now would end the session for real: leave it to the destructor, which does not.
}

TEST_F(MainWindow, LaunchOpensTheReportWithTheShell) {
  folder.Write("report one.txt", "Installation report\r\n");
  form.ShowPage(2);
  gui::SetText(form.ebReportName, folder / "report one.txt");
  EXPECT_EQ(gui::Text(form.lbReportName), folder / "report one.txt");
  gui::Click(form.btnLaunch);
  HWND notepad = gui::WaitTop("Notepad", nullptr);
  ASSERT_NE(notepad, nullptr);
  char caption[MAX_PATH] = "";
  EXPECT_TRUE(gui::WaitFor([&] {
    GetWindowTextA(notepad, caption, sizeof caption);
    return std::string(caption).find("report one") != std::string::npos;
  })) << caption;
  PostMessageA(notepad, WM_CLOSE, 0, 0);
  EXPECT_TRUE(gui::WaitFor([&] { return !IsWindow(notepad); }));

  gui::SetText(form.ebReportName, folder / "gone.txt");
  BoxAnswerer ok(window, IDOK);
  gui::Click(form.btnLaunch);
  EXPECT_EQ(ok.Text(), "Unable to open " + folder / "gone.txt" + ".");
}

}  // namespace
