#pragma once
// Drives windows the way a person would, from this process or from another one: find
// windows and controls, read and set texts, click, answer message boxes, take pictures.
// Everything that waits polls with a timeout; nothing sleeps blindly.
#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/owners.h"

namespace gui {

constexpr DWORD kTimeout = 5000;

// Delivers this thread's messages while it polls, so in-process windows stay alive.
bool WaitFor(const std::function<bool()>& condition, DWORD timeout = kTimeout);

// A visible top-level window of that class and caption (either may be null), owned by
// owner when owner is given, or belonging to process when that is not 0.
HWND FindTop(const char* className, const char* caption, HWND owner = nullptr,
             DWORD process = 0);
HWND WaitTop(const char* className, const char* caption, HWND owner = nullptr,
             DWORD process = 0, DWORD timeout = kTimeout);
// A descendant of root by control id (pages are child dialogs, so GetDlgItem is not
// enough).
HWND FindById(HWND root, int id);

// WM_GETTEXT: works across processes where GetWindowText does not for edit controls.
std::string Text(HWND window);
void SetText(HWND window, const std::string& text);  // WM_SETTEXT: the parent hears EN_CHANGE
bool Checked(HWND button);
bool Enabled(HWND window);
bool Visible(HWND window);

// Clicks only what a person could click: an enabled, visible control. A raw BM_CLICK
// would reach a disabled button too. Click returns once the handler has run; ClickAsync
// posts, for handlers that open a modal window.
void Click(HWND button);
void ClickAsync(HWND button);
// A real click at a point of the screen: the pointer moves there, the window under it
// has handled the move, then the left button goes down and up.
void ClickAt(POINT screen, HWND target);
// A real key press (down and up) for the window that has the keyboard focus.
void PressKey(WORD virtualKey);
// Presses a button of a dialog (IDYES, IDNO, IDOK ...) and waits until the dialog is gone.
void Answer(HWND dialog, int buttonId);
// The text of a message box (its static 0xFFFF).
std::string MessageText(HWND box);

// Messages whose lParam points at memory (BFFM_SETSELECTIONA, TVM_GETITEMA) are not
// carried between processes: these place the text or record in the window's process.
LRESULT SendWithText(HWND window, UINT message, WPARAM wParam, const std::string& text);
// The text of a tree view item, read through the tree's process.
std::string TreeItemText(HWND tree, HTREEITEM item);
// The items of a list box (LB_GETTEXT is carried between processes).
std::vector<std::string> ListBoxItems(HWND listBox);

// A round trip through the window's message queue: messages sent before it are handled.
bool Responsive(HWND window);

// Repaints the window and its frame at once and gives Wine time to show it.
void SettlePaint(HWND window);
// Makes the window's caption active: the first window a process activates can be drawn
// with an inactive caption although it has the focus.
void Activate(HWND window);
// Saves what the screen shows of the window, frame and caption included, as a 24-bit BMP.
bool Shot(HWND window, const std::string& bmpPath);

// Wine takes the Windows version a program sees from the registry, by the program's file
// name; answers whether it was set.
bool SetWindowsVersion(const std::string& exeName, const std::string& version);

// A program started for a test: closed (killed if it hangs) when the object goes away.
class App {
 public:
  // commandLine is passed as it is; the working folder is the program's own folder.
  App(const std::string& program, const std::string& arguments = "");
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  bool Started() const { return process_.valid(); }
  DWORD Id() const { return id_; }
  HANDLE Process() const { return process_.get(); }
  // Waits for the program's first top-level window with this caption.
  HWND WaitWindow(const char* caption, DWORD timeout = kTimeout) const;
  // Asks the window to close (WM_CLOSE) and waits for the program to end; answers its
  // exit code, or -1 when it did not end in time and was killed.
  long Close(HWND window, DWORD timeout = kTimeout);
  // Waits for the end of the program; -1 when it did not end in time.
  long WaitExit(DWORD timeout = kTimeout);

 private:
  platform::Handle process_;
  DWORD id_ = 0;
};

}  // namespace gui
