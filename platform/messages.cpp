#include "platform/messages.h"

namespace platform {

bool TranslateDialogMessage(MSG& message) {
  constexpr ATOM kDialogClassAtom = 32770;  // "#32770"
  // The top-level window the message is for; GetAncestor is not there on Windows 95.
  HWND root = message.hwnd;
  while (root && (GetWindowLongA(root, GWL_STYLE) & WS_CHILD)) root = GetParent(root);
  return root && GetClassLongA(root, GCW_ATOM) == kDialogClassAtom &&
         IsDialogMessageA(root, &message);
}

bool DeliverPendingMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return true;
    }
    if (!TranslateDialogMessage(message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  return false;
}

}  // namespace platform
