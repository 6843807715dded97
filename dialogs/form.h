#pragma once
// The base of every window of the program: a dialog whose procedure forwards to an
// object. Controls are members filled once with GetDlgItem, handlers are methods, and a
// table of Bindings connects them (see Dispatch). Exceptions that reach the procedure are
// shown in the standard error box; none unwinds through USER32.
#include <windows.h>

#include <cstddef>
#include <exception>
#include <memory>
#include <string>

#include "dialogs/placement.h"
#include "platform/owners.h"

namespace dialogs {

template <class F>
struct Binding {
  int id;
  UINT code;  // a notification code (BN_CLICKED, EN_CHANGE), or WM_TIMER for a timer
  void (F::*run)();
};

template <class F, size_t N>
bool Dispatch(F& form, const Binding<F> (&table)[N], int id, UINT code) {
  for (const Binding<F>& b : table) {
    if (b.id == id && b.code == code) {
      (form.*b.run)();
      return true;
    }
  }
  return false;
}

// What each control carries: its help context in the help file and its tool tip.
struct ControlHelp {
  int id;
  DWORD helpContext;
  const char* hint;  // nullptr: no tool tip
};

// All a form knows of one control, in one row: the member that holds it, its resource id,
// its help context and its tool tip. A null member: a control the form reaches otherwise.
template <class F>
struct ControlRow {
  HWND F::*field;
  int id;
  DWORD helpContext;
  const char* hint;  // nullptr: no tool tip
};

// A resizable modal dialog: the name its place and size are kept under, the size it
// first opens at, and how small it may get.
struct Sizing {
  const char* formName;
  SIZE defaultSize;
  SIZE minimum;
  bool fixedHeight;  // only its width can change
};

class Form {
 public:
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;
  HWND Handle() const { return hwnd_; }

  // The help file of every window: the program's path with the extension ".HLP".
  static void SetHelpFile(std::string path) { helpFile_ = std::move(path); }
  static const std::string& HelpFile() { return helpFile_; }

 protected:
  Form() = default;
  virtual ~Form();

  // A window that lives on its own (the main window); the owner may be null.
  HWND CreateModeless(int templateId, HWND owner);
  // A modal dialog: returns the code it ended with (EndDialog).
  INT_PTR RunModal(int templateId, HWND owner);
  // A resizable modal dialog: at the place and size kept under its form name (at first
  // its default size), never smaller than its minimum, laid out by FormResize at every
  // size; its place and size are kept again when it closes. True when it ended with OK.
  bool RunResizable(int templateId, HWND owner, const PlacementStore& placements,
                    const Sizing& sizing);
  // A child dialog (DS_CONTROL) inside this form that hands WM_COMMAND, WM_NOTIFY and
  // WM_DRAWITEM of its controls to the form, so one table covers the form and its pages.
  HWND CreatePage(int templateId, const RECT& place);

  // WM_INITDIALOG. Keyboard focus is the form's to set: answering FALSE there keeps
  // Wine from painting the first window of a process with an inactive caption.
  virtual void OnInit() {}
  // WM_COMMAND, and WM_TIMER as (timer id, WM_TIMER). Answers whether it was handled.
  virtual bool OnCommand(int id, UINT code) = 0;
  // Runs after every command and timer: enables what depends on the state.
  virtual void UpdateActions() {}
  // A resizable dialog's layout at its present size.
  virtual void FormResize() {}
  // Any other message; answer true to have result be the message's result.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

  // A control of the form or of one of its pages.
  HWND Control(int id) const;
  // Sets each control's help context and adds its tool tip.
  void DescribeControls(const ControlHelp* table, size_t count);
  void Describe(HWND item, DWORD helpContext, const char* hint);
  // Fills each row's member with its control, then describes it.
  template <class F, size_t N>
  void BindControls(F& form, const ControlRow<F> (&table)[N]) {
    for (const ControlRow<F>& row : table) {
      HWND item = Control(row.id);
      if (row.field) form.*row.field = item;
      if (item) Describe(item, row.helpContext, row.hint);
    }
  }
  // The help file's topic of that help context (F1, "?", the Help buttons); with 0 its
  // contents.
  void ShowHelp(DWORD context) const;

  HWND hwnd_{};

 private:
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static INT_PTR CALLBACK PageProcedure(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
  // window is the form or the page the message came to; results are set on it.
  INT_PTR Route(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // The resizable dialog's part of a message; true when that was all of it.
  bool Resize(UINT message, LPARAM lParam);

  HWND toolTips_{};
  const PlacementStore* placements_ = nullptr;  // while a resizable dialog runs
  Sizing sizing_{};
  static std::string helpFile_;
};

// A descendant of root by control id, at any depth: pages are child dialogs.
HWND FindControl(HWND root, int id);

// The window at the top of window's chain of owners (window itself when it has none).
HWND TopOwner(HWND window);

// A message box preceded by the system beep of its kind (MB_ICONHAND, MB_ICONQUESTION, ...).
int MessageWithBeep(HWND owner, const std::string& text, const std::string& caption, UINT flags);

// The application's standard error box for an exception that ended a handler.
void ShowErrorBox(HWND owner, const std::exception& error);

// A font like the window's own, bold and, when height is not 0, of that pixel height.
platform::Font MakeBoldFont(HWND window, int height = 0);

}  // namespace dialogs
