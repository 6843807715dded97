#pragma once
// What kind of program the install program is, and which tracking modes that and the
// Windows version allow.
#include <windows.h>

#include <string>

#include "app/windows_version.h"

namespace app {

// The platform code decides the method: the shell's executable type on the 95 family,
// the system's binary type elsewhere.
InstallType ClassifyInstallProgram(const std::string& name, DWORD platform);
std::string InstallTypeText(InstallType type);

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

}  // namespace app
