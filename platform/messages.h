#pragma once
#include <windows.h>

namespace platform {

// Gives a message to IsDialogMessage of the dialog it belongs to (keyboard navigation),
// and answers whether that took it. Loops that pump messages call this first.
bool TranslateDialogMessage(MSG& message);

// Delivers every message waiting for this thread's windows. A WM_QUIT found on the way
// (the program is being closed) is posted again for the main loop and answers true.
bool DeliverPendingMessages();

}  // namespace platform
