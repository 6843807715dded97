#pragma once
// Steps shared by the tests of the option dialogs: open one from the main window, answer
// its notices, drive the shell's folder browser.
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include "engines/helpers.h"
#include "vortan4_app.h"

namespace gui_tests {

constexpr int kBrowserTitle = 0x3742;
constexpr int kBrowserStatus = 0x3743;
constexpr int kBrowserTree = 0x3741;
inline const char kBrowserCaption[] = "Browse for Folder";

// Clicks a button whose handler opens a modal dialog, and waits for that dialog.
inline HWND OpenDialog(HWND button, const char* caption, HWND owner) {
  gui::ClickAsync(button);
  return gui::WaitTop("#32770", caption, owner);
}

// Waits for a message box, answers OK and gives its text ("<no box>" when none came).
inline std::string AnswerNotice(HWND owner, const char* caption) {
  HWND box = gui::WaitTop("#32770", caption, owner);
  if (!box) return "<no box>";
  std::string text = gui::MessageText(box);
  gui::Answer(box, IDOK);
  return text;
}

// Selects a folder in an open folder browser as a person would by clicking it, and waits
// until the browser shows it: a browser that has just opened may still be filling its tree,
// which takes seconds on a busy machine.
inline bool SelectInBrowser(HWND browser, const std::string& folder) {
  HWND status = GetDlgItem(browser, kBrowserStatus);
  HWND tree = GetDlgItem(browser, kBrowserTree);
  return gui::WaitFor(
      [&] {
        gui::SendWithText(browser, BFFM_SETSELECTIONA, TRUE, folder);
        if (lstrcmpiA(gui::Text(status).c_str(), folder.c_str()) == 0) return true;
        // Now and then Wine's browser stops at a folder above, not finding the one asked
        // for among the subfolders it listed: collapsed and reset, it lists them again.
        const LPARAM reached = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
        SendMessageA(tree, TVM_EXPAND, TVE_COLLAPSE | TVE_COLLAPSERESET, reached);
        return false;
      },
      kSessionTimeout);
}

// Selects the browser's root, My Computer, which is no folder of the file system.
inline void SelectBrowserRoot(HWND browser) {
  HWND tree = GetDlgItem(browser, kBrowserTree);
  auto root = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
  SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, root);
}

namespace detail {
struct TopicSearch {
  DWORD program;
  std::string title;
  HWND found;
};
inline BOOL CALLBACK MatchTopicText(HWND child, LPARAM data) {
  auto* search = reinterpret_cast<TopicSearch*>(data);
  char name[64] = "";
  GetClassNameA(child, name, sizeof name);
  if (_strnicmp(name, "RichEdit", 8) != 0 || gui::Text(child).rfind(search->title, 0) != 0)
    return TRUE;
  search->found = child;
  return FALSE;
}
inline BOOL CALLBACK MatchHelpViewer(HWND top, LPARAM data) {
  auto* search = reinterpret_cast<TopicSearch*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(top, &process);
  if (process == search->program || process == GetCurrentProcessId() || !IsWindowVisible(top))
    return TRUE;
  EnumChildWindows(top, MatchTopicText, data);
  if (!search->found) return TRUE;
  search->found = top;
  return FALSE;
}
}  // namespace detail

// The help viewer's window (another program's) once it shows a topic with that title.
inline HWND WaitHelpTopic(DWORD program, const std::string& title) {
  detail::TopicSearch search{program, title, nullptr};
  gui::WaitFor([&] {
    EnumWindows(detail::MatchHelpViewer, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
  });
  return search.found;
}

inline RECT RectOf(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

}  // namespace gui_tests
