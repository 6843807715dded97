#pragma once
// The Windows version the program runs on, as the report header names it and as the
// tracking modes and the restart depend on it.
#include <windows.h>

#include <string>

#include "report/session.h"

namespace app {

using namespace session;  // the run's types are the whole program's vocabulary

struct WindowsFacts {
  DWORD platform = 0;  // 1 the Windows 95 family, 2 the NT family, as the system says
  WindowsType type = wtUnknownPlatform;
  std::string text;               // "Windows 98", as the report header prints it
  std::string currentVersionKey;  // below which RunOnce lies; empty on other platforms
};
WindowsFacts ClassifyWindows(DWORD platform, DWORD major, DWORD minor);
// Asked once, at the first call; the program makes that call before any window exists.
const WindowsFacts& ThisWindows();

}  // namespace app
