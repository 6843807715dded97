#include "dialogs/context_help.h"

#include <vector>

#include "dialogs/form.h"

namespace dialogs {
namespace {

bool HasHelpButton(HWND window) {
  return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_CONTEXTHELP) &&
         (GetWindowLongA(window, GWL_STYLE) & (WS_CHILD | WS_CAPTION | WS_SYSMENU)) ==
             (WS_CAPTION | WS_SYSMENU);
}

// Where the button goes, in window coordinates: left of the close button, as large.
RECT HelpButtonRect(HWND window) {
  RECT frame;
  GetWindowRect(window, &frame);
  LONG style = GetWindowLongA(window, GWL_STYLE);
  int edgeX = GetSystemMetrics(SM_CXBORDER), edgeY = GetSystemMetrics(SM_CYBORDER);
  if (style & WS_THICKFRAME) {
    edgeX = GetSystemMetrics(SM_CXSIZEFRAME);
    edgeY = GetSystemMetrics(SM_CYSIZEFRAME);
  } else if ((style & WS_DLGFRAME) || (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME)) {
    edgeX = GetSystemMetrics(SM_CXFIXEDFRAME);
    edgeY = GetSystemMetrics(SM_CYFIXEDFRAME);
  }
  int width = GetSystemMetrics(SM_CXSIZE), height = GetSystemMetrics(SM_CYSIZE);
  RECT close;
  close.right = frame.right - frame.left - edgeX - 2;
  close.left = frame.right - frame.left - edgeX - width;
  close.top = edgeY + 2;
  close.bottom = edgeY + height - 2;
  OffsetRect(&close, -width, 0);
  return close;
}

// The system answers for the button itself where its hit test knows it.
bool SystemHasHelpButton(HWND window, const RECT& button) {
  RECT frame;
  GetWindowRect(window, &frame);
  POINT centre{frame.left + (button.left + button.right) / 2,
               frame.top + (button.top + button.bottom) / 2};
  return DefWindowProcA(window, WM_NCHITTEST, 0, MAKELPARAM(centre.x, centre.y)) == HTHELP;
}

// A push button face with a bold question mark: not every system's symbol font has the
// caption's help glyph.
void DrawHelpButton(HWND window, const RECT& button, bool pushed) {
  HDC dc = GetWindowDC(window);
  RECT place = button;
  DrawFrameControl(dc, &place, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
  if (pushed) OffsetRect(&place, 1, 1);
  LOGFONTA shape{};
  shape.lfHeight = -(button.bottom - button.top - 3);
  shape.lfWeight = FW_BOLD;
  lstrcpyA(shape.lfFaceName, "Arial");
  platform::Font font(CreateFontIndirectA(&shape));
  HGDIOBJ previous = SelectObject(dc, font.get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  DrawTextA(dc, "?", 1, &place, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, previous);
  ReleaseDC(window, dc);
}

struct HelpTarget {
  POINT point;
  HWND found;
  LONGLONG area;
};

BOOL CALLBACK MatchHelpTarget(HWND child, LPARAM data) {
  auto* target = reinterpret_cast<HelpTarget*>(data);
  RECT place;
  if (!IsWindowVisible(child) || !GetWindowContextHelpId(child) || !GetWindowRect(child, &place) ||
      !PtInRect(&place, target->point))
    return TRUE;
  // The smallest wins: a group box or a page lies under the controls inside it.
  LONGLONG area = LONGLONG(place.right - place.left) * (place.bottom - place.top);
  if (!target->found || area < target->area) *target = {target->point, child, area};
  return TRUE;
}

}  // namespace

bool HelpButtonMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                       LRESULT& result) {
  if (message != WM_NCPAINT && message != WM_NCACTIVATE && message != WM_SETTEXT &&
      message != WM_NCHITTEST && message != WM_NCLBUTTONDOWN)
    return false;
  if (!HasHelpButton(window)) return false;
  RECT button = HelpButtonRect(window);
  if (SystemHasHelpButton(window, button)) return false;
  switch (message) {
    case WM_NCHITTEST: {
      result = DefWindowProcA(window, message, wParam, lParam);
      RECT frame;
      GetWindowRect(window, &frame);
      POINT point{static_cast<short>(LOWORD(lParam)) - frame.left,
                  static_cast<short>(HIWORD(lParam)) - frame.top};
      if (result != HTCAPTION || !PtInRect(&button, point)) return false;
      result = HTHELP;
      return true;
    }
    case WM_NCLBUTTONDOWN:
      if (wParam != HTHELP) return false;
      DrawHelpButton(window, button, true);
      SendMessageA(window, WM_SYSCOMMAND, SC_CONTEXTHELP, lParam);
      DrawHelpButton(window, button, false);
      result = 0;
      return true;
    default:  // the system paints the title bar, then the button goes on it
      result = DefWindowProcA(window, message, wParam, lParam);
      DrawHelpButton(window, button, false);
      return true;
  }
}

HWND PickControlForHelp(HWND window) {
  HCURSOR question = LoadCursor(nullptr, IDC_HELP);
  SetCapture(window);
  SetCursor(question);
  HWND picked = nullptr;
  MSG msg;
  while (GetCapture() == window) {
    if (GetMessageA(&msg, nullptr, 0, 0) <= 0) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (msg.message == WM_LBUTTONDOWN || msg.message == WM_NCLBUTTONDOWN) {
      HelpTarget target{msg.pt, nullptr, 0};
      EnumChildWindows(window, MatchHelpTarget, reinterpret_cast<LPARAM>(&target));
      picked = target.found;
      break;
    }
    if (msg.message == WM_RBUTTONDOWN || msg.message == WM_NCRBUTTONDOWN ||
        (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE))
      break;
    if (msg.message == WM_MOUSEMOVE || msg.message == WM_NCMOUSEMOVE) {
      SetCursor(question);
      continue;
    }
    // Keys would reach the controls beneath: Enter or Escape would close the window.
    if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (GetCapture() == window) ReleaseCapture();
  return picked;
}

namespace {

BOOL CALLBACK CollectWindow(HWND top, LPARAM windows) {
  reinterpret_cast<std::vector<HWND>*>(windows)->push_back(top);
  return TRUE;
}

}  // namespace

// The viewer's largest visible top-level window: its main window, not a pop-up.
HWND HelpViewer() {
  // The class of the window that WinHelp sends its requests to, in every version.
  HWND requests = FindWindowA("MS_WINHELP", nullptr);
  if (!requests) return nullptr;
  DWORD viewerProcess = 0;
  GetWindowThreadProcessId(requests, &viewerProcess);
  std::vector<HWND> windows;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
  HWND largest = nullptr;
  LONG largestArea = 0;
  for (HWND top : windows) {
    DWORD process = 0;
    RECT r{};
    GetWindowThreadProcessId(top, &process);
    if (process != viewerProcess || !IsWindowVisible(top) || !GetWindowRect(top, &r)) continue;
    const LONG area = (r.right - r.left) * (r.bottom - r.top);
    if (area > largestArea) largest = top, largestArea = area;
  }
  return largest;
}

void PlaceHelpViewerBeside(HWND window) {
  HWND viewerWindow = HelpViewer(), main = TopOwner(window);
  RECT work{}, beside{}, viewer{};
  if (!viewerWindow || !SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0) ||
      !GetWindowRect(main, &beside) || !GetWindowRect(viewerWindow, &viewer))
    return;
  // A narrower viewer than it was still reads well, down to about a third of a small screen.
  constexpr int kNarrowest = 320;
  const int wanted = viewer.right - viewer.left;
  const int right = work.right - beside.right, left = beside.left - work.left;
  const int room = right >= left ? right : left;
  if (room < kNarrowest && room < wanted) return;
  const int width = wanted < room ? wanted : room;
  int height = viewer.bottom - viewer.top;
  if (height > work.bottom - work.top) height = work.bottom - work.top;
  int top = beside.top;
  if (top + height > work.bottom) top = work.bottom - height;
  if (top < work.top) top = work.top;
  SetWindowPos(viewerWindow, nullptr, right >= left ? beside.right : beside.left - width, top,
               width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace dialogs
