#include "app/windows_version.h"

#include "platform/system.h"

namespace app {

WindowsFacts ClassifyWindows(DWORD platform, DWORD major, DWORD minor) {
  WindowsFacts facts;
  facts.platform = platform;
  if (platform == VER_PLATFORM_WIN32_WINDOWS) {
    facts.currentVersionKey = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    if (major == 4 && minor == 0)
      facts.type = wtWin95, facts.text = "Windows 95";
    else if (major == 4 && minor == 10)
      facts.type = wtWin98, facts.text = "Windows 98";
    else
      facts.type = wt9xOther, facts.text = "Windows 9x?";
  } else if (platform == VER_PLATFORM_WIN32_NT) {
    facts.currentVersionKey = "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    switch (major) {
      case 3: facts.type = wtNt3, facts.text = "Windows NT3"; break;
      case 4: facts.type = wtNt4, facts.text = "Windows NT4"; break;
      case 5: facts.type = wtNt5, facts.text = "Windows NT5"; break;
      default: facts.type = wtNtOther, facts.text = "Windows NT?"; break;
    }
  } else {
    facts.type = wtUnknownPlatform, facts.text = "Windows ???";
  }
  return facts;
}

const WindowsFacts& ThisWindows() {
  static const WindowsFacts facts = [] {
    OSVERSIONINFOA version = platform::WindowsVersion();
    return ClassifyWindows(version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion);
  }();
  return facts;
}

}  // namespace app
