#pragma once
// The main window's pictures, drawn rather than stored: the eye that marks the current
// step (also the window's icon) and the picture at the left of every page.
#include <windows.h>

#include "platform/owners.h"

namespace app {

void DrawEye(HDC dc, const RECT& box);
// An icon of the eye, square, with a transparent background.
platform::Icon MakeEyeIcon(int size);
void DrawMainPicture(HDC dc, const RECT& box);

}  // namespace app
