#include "dialogs/form.h"

#include <commctrl.h>

#include "dialogs/context_help.h"

namespace dialogs {

std::string Form::helpFile_;

Form::~Form() {
  // The derived form is gone by now: the window must not call back into it.
  if (hwnd_) {
    SetWindowLongPtrA(hwnd_, DWLP_USER, 0);
    DestroyWindow(hwnd_);
  }
}

HWND Form::CreateModeless(int templateId, HWND owner) {
  return CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), owner,
                            Procedure, reinterpret_cast<LPARAM>(this));
}

INT_PTR Form::RunModal(int templateId, HWND owner) {
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), owner,
                         Procedure, reinterpret_cast<LPARAM>(this));
}

bool Form::RunResizable(int templateId, HWND owner, const PlacementStore& placements,
                        const Sizing& sizing) {
  placements_ = &placements;
  sizing_ = sizing;
  const INT_PTR result = RunModal(templateId, owner);
  placements_ = nullptr;
  return result == IDOK;
}

bool Form::Resize(UINT message, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowPos(hwnd_, nullptr, 0, 0, sizing_.defaultSize.cx, sizing_.defaultSize.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      placements_->Restore(hwnd_, sizing_.formName, true);
      FormResize();
      return false;
    case WM_GETMINMAXINFO: {
      auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
      limits->ptMinTrackSize = {sizing_.minimum.cx, sizing_.minimum.cy};
      if (sizing_.fixedHeight) limits->ptMaxTrackSize.y = sizing_.minimum.cy;
      return true;
    }
    case WM_SIZE:
      FormResize();
      return true;
    case WM_DESTROY:
      placements_->Save(hwnd_, sizing_.formName, true);
      return false;
  }
  return false;
}

HWND Form::CreatePage(int templateId, const RECT& place) {
  HWND page = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), hwnd_,
                                 PageProcedure, reinterpret_cast<LPARAM>(this));
  if (page)
    SetWindowPos(page, nullptr, place.left, place.top, place.right - place.left,
                 place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
  return page;
}

namespace {
struct ControlSearch {
  int id;
  HWND found;
};
BOOL CALLBACK MatchControl(HWND child, LPARAM data) {
  auto* search = reinterpret_cast<ControlSearch*>(data);
  if (GetDlgCtrlID(child) != search->id) return TRUE;
  search->found = child;
  return FALSE;
}

// A dialog shows the program's icon: its main window's, which outlives it.
void ShowOwnersIcon(HWND dialog) {
  HWND main = TopOwner(dialog);
  if (main == dialog) return;
  for (WPARAM kind : {ICON_BIG, ICON_SMALL}) {
    const LRESULT icon = SendMessageA(main, WM_GETICON, kind, 0);
    if (icon) SendMessageA(dialog, WM_SETICON, kind, icon);
  }
}

}  // namespace

HWND FindControl(HWND root, int id) {
  ControlSearch search{id, nullptr};
  EnumChildWindows(root, MatchControl, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// GetAncestor is not there on Windows 95.
HWND TopOwner(HWND window) {
  while (HWND owner = GetWindow(window, GW_OWNER)) window = owner;
  return window;
}

HWND Form::Control(int id) const { return FindControl(hwnd_, id); }

void Form::DescribeControls(const ControlHelp* table, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    HWND item = Control(table[i].id);
    if (item) Describe(item, table[i].helpContext, table[i].hint);
  }
}

void Form::Describe(HWND item, DWORD helpContext, const char* hint) {
  SetWindowContextHelpId(item, helpContext);
  if (!hint) return;
  if (!toolTips_) {
    toolTips_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
    // Long hints wrap instead of running across the screen.
    SendMessageA(toolTips_, TTM_SETMAXTIPWIDTH, 0, 300);
  }
  // The first size of the record: every version of the common controls takes it.
  TOOLINFOA tool{};
  tool.cbSize = TTTOOLINFOA_V1_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = hwnd_;
  tool.uId = reinterpret_cast<UINT_PTR>(item);
  tool.lpszText = const_cast<char*>(hint);
  SendMessageA(toolTips_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

bool Form::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

void Form::ShowHelp(DWORD context) const {
  // A viewer that opens now comes up beside the main window; one already open stays
  // where the user has it.
  const bool opening = HelpViewer() == nullptr;
  // The help window rather than a pop-up: Wine's viewer does not show context pop-ups.
  if (context)
    WinHelpA(hwnd_, helpFile_.c_str(), HELP_CONTEXT, context);
  else
    WinHelpA(hwnd_, helpFile_.c_str(), HELP_FINDER, 0);
  if (opening) PlaceHelpViewerBeside(hwnd_);
}

INT_PTR Form::Route(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    switch (message) {
      case WM_COMMAND:
      case WM_TIMER: {
        // Any command can change what the actions depend on, handled here or not.
        bool handled = message == WM_COMMAND ? OnCommand(LOWORD(wParam), HIWORD(wParam))
                                             : OnCommand(static_cast<int>(wParam), WM_TIMER);
        UpdateActions();
        return handled;
      }
      case WM_HELP: {
        // F1, or a control picked in the help mode: the control's topic.
        const auto* info = reinterpret_cast<const HELPINFO*>(lParam);
        ShowHelp(info->iContextType == HELPINFO_WINDOW ? info->dwContextId : 0);
        return TRUE;
      }
      case WM_SYSCOMMAND:
        if (window != hwnd_ || (wParam & 0xFFF0) != SC_CONTEXTHELP) break;
        if (HWND picked = PickControlForHelp(hwnd_)) ShowHelp(GetWindowContextHelpId(picked));
        return TRUE;
    }
    LRESULT frameResult = 0;
    if (window == hwnd_ && HelpButtonMessage(window, message, wParam, lParam, frameResult)) {
      SetWindowLongPtrA(window, DWLP_MSGRESULT, frameResult);
      return TRUE;
    }
    LRESULT result = 0;
    if (window == hwnd_ && placements_ && Resize(message, lParam)) {
      SetWindowLongPtrA(window, DWLP_MSGRESULT, 0);
      return TRUE;
    }
    if (!OnMessage(message, wParam, lParam, result)) return FALSE;
    if (message == WM_DRAWITEM) return TRUE;
    SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
    return TRUE;
  } catch (const std::exception& error) {
    ShowErrorBox(hwnd_, error);
    return TRUE;
  }
}

INT_PTR CALLBACK Form::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* form = reinterpret_cast<Form*>(lParam);
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    form->hwnd_ = window;
    ShowOwnersIcon(window);
    try {
      form->OnInit();
      if (form->placements_) form->Resize(message, lParam);
    } catch (const std::exception& error) {
      ShowErrorBox(window, error);
    }
    return FALSE;
  }
  auto* form = reinterpret_cast<Form*>(GetWindowLongPtrA(window, DWLP_USER));
  if (!form) return FALSE;
  INT_PTR answer = form->Route(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, DWLP_USER, 0);
    form->hwnd_ = nullptr;
    form->toolTips_ = nullptr;
  }
  return answer;
}

INT_PTR CALLBACK Form::PageProcedure(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(page, DWLP_USER, lParam);
    return FALSE;
  }
  auto* form = reinterpret_cast<Form*>(GetWindowLongPtrA(page, DWLP_USER));
  if (!form) return FALSE;
  switch (message) {
    case WM_COMMAND:
      // Enter and Esc on a page are the form's.
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
        return SendMessageA(form->hwnd_, message, wParam, lParam), TRUE;
      return form->Route(page, message, wParam, lParam);
    case WM_NOTIFY:
    case WM_DRAWITEM:
      return form->Route(page, message, wParam, lParam);
  }
  return FALSE;
}

int MessageWithBeep(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
  MessageBeep(flags & MB_ICONMASK);
  return MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
}

void ShowErrorBox(HWND owner, const std::exception& error) {
  MessageWithBeep(owner, error.what(), "Vortan4", MB_OK | MB_ICONERROR);
}

platform::Font MakeBoldFont(HWND window, int height) {
  LOGFONTA font{};
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0)), sizeof font, &font);
  font.lfWeight = FW_BOLD;
  if (height != 0) {
    font.lfHeight = -height;
    font.lfWidth = 0;
  }
  return platform::Font(CreateFontIndirectA(&font));
}

}  // namespace dialogs
