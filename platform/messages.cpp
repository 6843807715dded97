#include "platform/messages.h"

namespace platform {

bool TranslateDialogMessage(MSG& message) {
  constexpr ATOM kDialogClassAtom = 32770;  // "#32770"
  HWND root = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
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
