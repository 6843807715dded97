#pragma once
// The state of one tracking run, shared by the main window, the launch threads, the
// continuation handling and the report.
#include <cstdint>

namespace session {

// Also the Tag values of the mode radio buttons and of the restart choices.
enum TrackMode : uint8_t { tmReal = 1, tmTime = 2, tmDisk = 3, tmNone = 4 };

// Step i of a run, shown on step row i (lbStat0 to lbStat11): 0 to 2 the recording
// before the install, 3 the install, 4 to 11 the work after it.
enum Step : int {
  stIniBefore = 0,
  stRegistryBefore = 1,
  stDiskBefore = 2,
  stInstall = 3,
  stIniAfter = 4,
  stIniCompare = 5,
  stRegistryAfter = 6,
  stRegistryCompare = 7,
  stDiskAfter = 8,
  stDiskCompare = 9,
  stFileTimes = 10,
  stRealTime = 11,
};
constexpr int kStepCount = 12;

// Bit i stands for step i.
using StatMask = uint32_t;
constexpr StatMask StepBit(Step step) { return StatMask(1) << step; }
constexpr bool HasStep(StatMask mask, Step step) { return (mask & StepBit(step)) != 0; }

constexpr StatMask kMaskReal =
    StepBit(stIniBefore) | StepBit(stInstall) | StepBit(stIniAfter) | StepBit(stIniCompare) |
    StepBit(stRealTime);  // 0x839
constexpr StatMask kMaskDisk = StepBit(stDiskCompare) * 2 - 1;  // steps 0 to 9: 0x3FF
constexpr StatMask kMaskTime = (kMaskDisk & ~(StepBit(stDiskBefore) | StepBit(stDiskAfter) |
                                              StepBit(stDiskCompare))) |
                               StepBit(stFileTimes);  // 0x4FB
// What a DOS-based install keeps: no INI or registry steps (0xF0C).
constexpr StatMask kMaskDosSteps = StepBit(stDiskBefore) | StepBit(stInstall) |
                                   StepBit(stDiskAfter) | StepBit(stDiskCompare) |
                                   StepBit(stFileTimes) | StepBit(stRealTime);
// The recording after a restart in real-time mode (the supplement): the record-and-compare
// steps of the chosen comparison mode, without the recording before the install.
constexpr StatMask kMaskAfterOnly = ~(StepBit(stIniBefore) | StepBit(stRegistryBefore) |
                                      StepBit(stDiskBefore) | StepBit(stInstall));
static_assert(kMaskReal == 0x839 && kMaskTime == 0x4FB && kMaskDisk == 0x3FF &&
              kMaskDosSteps == 0xF0C && (kMaskDisk & kMaskAfterOnly) == 0x3F0 &&
              (kMaskTime & kMaskAfterOnly) == 0x4F0);

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
constexpr bool IsDosBased(InstallType type) { return type >= itDosExe && type <= itDosBatch; }

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

}  // namespace session
