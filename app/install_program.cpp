#include "app/install_program.h"

#include "platform/paths.h"
#include "platform/system.h"

namespace app {

InstallType ClassifyInstallProgram(const std::string& name, DWORD platform) {
  if (name.empty()) return itNone;
  size_t firstDot = name.find('.');
  // Fewer than three characters after the first dot: no extension to judge by.
  if (firstDot == std::string::npos || name.size() - (firstDot + 1) < 3) return itNoExtension;
  if (!platform::FileExists(name)) return itMissing;
  const std::string ext = platform::UpperExtension(name);

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

}  // namespace app
