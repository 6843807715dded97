#pragma once
// The "?" button of a title bar and the help mode it starts: the pointer turns into a
// question mark and the next click on a control asks for that control's help.
//
// Some systems (Wine among them) neither draw that button nor answer its click although
// the window asks for it (WS_EX_CONTEXTHELP); where the system's hit test does not know
// the button, the window draws it and answers for it itself.
#include <windows.h>

namespace dialogs {

// Title-bar messages of a top-level window with WS_EX_CONTEXTHELP: paints and hit-tests
// the "?" button where the system does not. Answers true when it handled the message,
// with result as its result.
bool HelpButtonMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                       LRESULT& result);

// Runs the help mode of window until a click or Escape: answers the control clicked
// (the smallest visible one under the pointer that carries a help context), or null.
HWND PickControlForHelp(HWND window);

// The help viewer's main window, when it shows one.
HWND HelpViewer();
// Moves the help viewer's window beside the program's main window (the top owner of
// window), on the side with more room, narrowed to that room if need be; where neither
// side has room for a readable viewer it stays where it is.
void PlaceHelpViewerBeside(HWND window);

}  // namespace dialogs
