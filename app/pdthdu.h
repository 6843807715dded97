#pragma once
// The install program: what kind of program it is and which tracking modes that allows,
// and the facts about the running Windows version that the rest of the program uses.
#include <windows.h>

#include <cstdint>
#include <string>

#include "app/session.h"

namespace app {

struct WindowsFacts {
  DWORD platform = 0;  // 1 the Windows 95 family, 2 the NT family, as the system says
  WindowsType type = wtUnknownPlatform;
  std::string text;               // "Windows 98", as the report header prints it
  std::string currentVersionKey;  // below which RunOnce lies; empty on other platforms
};
WindowsFacts ClassifyWindows(DWORD platform, DWORD major, DWORD minor);
// Asked once, at the first call; the program makes that call before any window exists.
const WindowsFacts& ThisWindows();

// The platform code decides the method: the shell's executable type on the 95 family,
// the system's binary type elsewhere.
InstallType ClassifyInstallProgram(const std::string& name, DWORD platform);
std::string InstallTypeText(InstallType type);
// The file name's extension from its last dot, in upper case (".EXE"); "" without one.
std::string UpperExtension(const std::string& path);

// The three mode radio buttons: index 0 real-time, 1 file-time, 2 disk contents.
// checked is the TrackMode of the checked button, 0 when none is.
struct ModeChoices {
  bool enabled[3] = {true, true, true};
  int checked = tmReal;
};
// First by install type, then by Windows version, which can take back what the first
// gave. Without real-time reporting, disk contents is checked where real-time would be.
ModeChoices ChooseModes(ModeChoices current, InstallType type, WindowsType windows,
                        bool realTimeAvailable);

// Starts the install program and waits for it and for every program it starts in turn;
// the main window holds it while it runs. The "&GO!" flow brings its work.
class TLaunchProgThread {
 public:
  bool debugging = false;  // runs its program under the debugging interface
};

// The key that relates process ids to the ids real-time tracking sees; 0 on NT.
bool ObtainProcessKey(WindowsType windows, uint32_t& key);

}  // namespace app
