// The real program's help: F1 on a field, the "?" button and then a control, and the Help
// button each show their topic of VORTAN4.HLP in the help viewer, beside the program's
// window, under Windows 98 and NT 4; closing the program closes the viewer.
#include "support/help_file.h"
#include "vortan4_app.h"

namespace gui_tests {
namespace {

struct HelpSearch {
  DWORD exceptProcess;
  std::string title;
  HWND found;
};

BOOL CALLBACK MatchRichText(HWND child, LPARAM data) {
  char className[64] = "";
  GetClassNameA(child, className, sizeof className);
  if (_strnicmp(className, "RichEdit", 8) != 0) return TRUE;
  auto* search = reinterpret_cast<HelpSearch*>(data);
  if (gui::Text(child).rfind(search->title, 0) != 0) return TRUE;
  search->found = child;
  return FALSE;
}

BOOL CALLBACK MatchHelpWindow(HWND top, LPARAM data) {
  auto* search = reinterpret_cast<HelpSearch*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(top, &process);
  if (process == search->exceptProcess || process == GetCurrentProcessId() || !IsWindowVisible(top))
    return TRUE;
  EnumChildWindows(top, MatchRichText, data);
  if (!search->found) return TRUE;
  search->found = top;
  return FALSE;
}

class Help : public Vortan4, public ::testing::WithParamInterface<const char*> {
 protected:
  // A help viewer's window, not the program's, whose topic text begins with the title.
  HWND HelpWindowShowing(const std::string& title) const {
    HelpSearch search{app->Id(), title, nullptr};
    EnumWindows(MatchHelpWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
  }
  HWND WaitHelpWindow(const std::string& title) const {
    HWND found = nullptr;
    gui::WaitFor([&] { return (found = HelpWindowShowing(title)) != nullptr; });
    return found;
  }
  // The help window may cover the program's window: it goes, as a person would close it.
  void CloseHelp(HWND shown) const {
    PostMessageA(shown, WM_CLOSE, 0, 0);
    gui::WaitFor([&] { return !IsWindow(shown); });
    gui::Activate(window);
  }
  // The "?" button, found as the system and the program answer for the title bar.
  POINT HelpButton() const {
    RECT frame;
    GetWindowRect(window, &frame);
    int y = frame.top + GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2;
    int right = -1, left = -1;
    for (int x = frame.right - 1; x > frame.left; --x) {
      bool onButton = SendMessageA(window, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTHELP;
      if (onButton && right < 0) right = x;
      if (onButton) left = x;
      if (!onButton && right >= 0) break;
    }
    return {right < 0 ? -1 : (left + right) / 2, y};
  }
  POINT CentreOf(int id) const {
    RECT place;
    GetWindowRect(Item(id), &place);
    return {(place.left + place.right) / 2, (place.top + place.bottom) / 2};
  }

  testing_support::HelpFileContents help = testing_support::ReadHelpFile("C:\\tests\\VORTAN4.HLP");
};

TEST_P(Help, F1TheQuestionMarkAndTheHelpButtonShowTheirTopics) {
  Start(GetParam());
  gui::Activate(window);
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(gui::WaitFor([&] {
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) &&
           info.hwndFocus == Item(IDC_ebInstallProg);
  }));
  // With the window at the screen's left edge, the viewer opens right of it.
  SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  gui::PressKey(VK_F1);
  HWND shown = WaitHelpWindow(help.topicOfContext.at(5));
  ASSERT_NE(shown, nullptr) << "F1 on the install program field";
  EXPECT_TRUE(gui::WaitFor([&] {
    RECT main{}, viewer{};
    return GetWindowRect(window, &main) && GetWindowRect(shown, &viewer) &&
           viewer.left >= main.right;
  })) << "the viewer covers the program's window";
  CloseHelp(shown);

  POINT question = HelpButton();
  ASSERT_GE(question.x, 0) << "no \"?\" button in the title bar";
  gui::ClickAt(question, window);
  ASSERT_TRUE(gui::WaitFor([&] {
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) &&
           info.hwndCapture == window;
  })) << "the \"?\" button did not start the help mode";
  gui::ClickAt(CentreOf(IDC_btnInstall), window);
  shown = WaitHelpWindow(help.topicOfContext.at(19));
  ASSERT_NE(shown, nullptr) << "\"?\" and then GO!";
  CloseHelp(shown);
  EXPECT_TRUE(gui::Responsive(window));

  gui::ClickAsync(Item(IDC_btnHelp));
  ASSERT_NE(WaitHelpWindow(help.contentsTitle), nullptr) << "the Help button";

  EXPECT_EQ(Close(), 0);
  EXPECT_TRUE(gui::WaitFor([&] { return !HelpWindowShowing(help.contentsTitle); }))
      << "the help viewer stays open after the program";
}

INSTANTIATE_TEST_SUITE_P(Windows, Help, ::testing::Values("win98", "nt40"));

}  // namespace
}  // namespace gui_tests
