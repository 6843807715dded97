#include "app/pdthdu.h"

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

InstallType ClassifyInstallProgram(const std::string& name, DWORD platform) {
  if (name.empty()) return itNone;
  size_t firstDot = name.find('.');
  // Fewer than three characters after the first dot: no extension to judge by.
  if (firstDot == std::string::npos || name.size() - (firstDot + 1) < 3) return itNoExtension;
  if (!platform::FileExists(name)) return itMissing;
  const std::string ext = UpperExtension(name);

  if (platform == VER_PLATFORM_WIN32_WINDOWS) {
    switch (platform::ShellExecutableType(name) & 0xFFFF) {
      case 0x454E: return itWin16;  // "NE"
      case 0x4550: return itWin32;  // "PE"
      case 0x5A4D:  // "MZ", also given for batch files
      case 0x4D5A:  // the same from Wine's shell, which swaps the two letters
        if (ext == ".EXE") return itDosExe;
        if (ext == ".COM") return itDosCom;
        if (ext == ".BAT") return itDosBatch;
        return itNotExecutable;
      default:
        return ext == ".INF" ? itSetupInf : itNotExecutable;
    }
  }
  DWORD type = 0;
  if (!platform::BinaryType(name, type)) return itNotExecutable;
  switch (type) {
    case SCS_32BIT_BINARY: return itWin32;
    case SCS_DOS_BINARY:
      if (ext == ".EXE") return itDosExe;
      if (ext == ".COM") return itDosCom;
      return itNotExecutable;
    case SCS_WOW_BINARY: return itWin16;
    default:
      if (ext == ".INF") return itSetupInf;
      if (ext == ".BAT") return itDosBatch;
      return itNotExecutable;
  }
}

std::string UpperExtension(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot);
  for (char& c : ext)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return ext;
}

std::string InstallTypeText(InstallType type) {
  switch (type) {
    case itNoExtension: return "";
    case itNotExecutable: return "Not an executable file";
    case itMissing: return "File does not exist";
    case itNone: return "(no program)";
    case itDosExe: return "DOS EXE file";
    case itDosCom: return "DOS COM file";
    case itDosBatch: return "DOS batch file";
    case itWin16: return "16-bit Windows Executable";
    case itWin32: return "32-bit Windows Executable";
    case itSetupInf: return "Setup .INF file";
  }
  return "";
}

ModeChoices ChooseModes(ModeChoices modes, InstallType type, WindowsType windows,
                        bool realTimeAvailable) {
  bool& real = modes.enabled[0];
  switch (type) {
    case itNoExtension: case itNotExecutable: case itMissing:
      modes = ModeChoices{{false, false, false}, 0};
      break;
    case itNone: case itWin32: case itSetupInf:
      modes = ModeChoices{{realTimeAvailable, true, true}, realTimeAvailable ? tmReal : tmDisk};
      break;
    case itDosExe: case itDosCom: case itDosBatch: case itWin16:
      real = false;
      modes.enabled[1] = modes.enabled[2] = true;
      if (modes.checked == tmReal) modes.checked = tmDisk;
      break;
  }
  if (windows == wtNt4) {
    real = false;
    if (modes.checked == tmReal) modes.checked = tmDisk;
  } else if (windows != wtWin95 && windows != wtWin98) {
    modes = ModeChoices{{false, false, false}, 0};
  }
  return modes;
}

bool ObtainProcessKey(WindowsType, uint32_t& key) {
  // 0 on NT. On the 95 family the key comes from the trap driver, which real-time
  // tracking brings; until then the start goes on as if it had been obtained.
  key = 0;
  return true;
}

}  // namespace app
