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
// until the browser shows it: a browser that has just opened may still be filling its tree.
inline bool SelectInBrowser(HWND browser, const std::string& folder) {
  HWND status = GetDlgItem(browser, kBrowserStatus);
  return gui::WaitFor([&] {
    gui::SendWithText(browser, BFFM_SETSELECTIONA, TRUE, folder);
    return lstrcmpiA(gui::Text(status).c_str(), folder.c_str()) == 0;
  });
}

// Selects the browser's root, My Computer, which is no folder of the file system.
inline void SelectBrowserRoot(HWND browser) {
  HWND tree = GetDlgItem(browser, kBrowserTree);
  auto root = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
  SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, root);
}

inline RECT RectOf(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

}  // namespace gui_tests
