#pragma once
// The state of one tracking run, shared by the main window, the launch threads, the
// continuation handling and the report.
#include <cstdint>

namespace app {

// Also the Tag values of the mode radio buttons and of the restart choices.
enum TrackMode : uint8_t { tmReal = 1, tmTime = 2, tmDisk = 3, tmNone = 4 };

// Bit i stands for step row i and step i of a run.
using StatMask = uint32_t;
constexpr StatMask kMaskReal = 0x839;
constexpr StatMask kMaskTime = 0x4FB;
constexpr StatMask kMaskDisk = 0x3FF;
// What a DOS-based install keeps: no INI or registry steps.
constexpr StatMask kMaskDosSteps = 0xF0C;
constexpr int kStepCount = 12;

enum Phase : uint8_t {
  phSetup = 0, phRecording = 1, phInstalling = 2, phProcessing = 3, phDone = 4
};
enum TwoPhase : int32_t { tpNone = 0, tpTwoPhase = 1, tpRestart = 2, tpSupplement = 3 };
enum EndSessionKind : int32_t { esNone = 0, esRestart = 1, esLogoff = 2 };

enum InstallType : int32_t {
  itNoExtension = -3,
  itNotExecutable = -2,
  itMissing = -1,
  itNone = 0,
  itDosExe = 1,
  itDosCom = 2,
  itDosBatch = 3,
  itWin16 = 4,
  itWin32 = 5,
  itSetupInf = 6,
};
inline bool IsDosBased(InstallType type) { return type >= itDosExe && type <= itDosBatch; }

// 1 Windows 95, 2 Windows 98, 3 NT 4, 4 NT 5; negative for versions not provided for.
enum WindowsType : int32_t {
  wtUnknownPlatform = -4,
  wtNtOther = -3,
  wtNt3 = -2,
  wt9xOther = -1,
  wtWin95 = 1,
  wtWin98 = 2,
  wtNt4 = 3,
  wtNt5 = 4,
};

// The steps a run in this mode takes; a DOS-based install leaves out the INI and
// registry steps.
StatMask ModeMask(TrackMode mode, InstallType type);

}  // namespace app
