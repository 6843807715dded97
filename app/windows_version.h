#pragma once
// The Windows version the program runs on, as the report header names it and as the
// tracking modes and the restart depend on it.
#include <windows.h>

#include <string>

#include "report/session.h"

namespace app {

// The run's types are the whole program's vocabulary.
using session::TrackMode, session::tmReal, session::tmTime, session::tmDisk, session::tmNone;
using session::Step, session::stIniBefore, session::stRegistryBefore, session::stDiskBefore,
    session::stInstall, session::stIniAfter, session::stIniCompare, session::stRegistryAfter,
    session::stRegistryCompare, session::stDiskAfter, session::stDiskCompare,
    session::stFileTimes, session::stRealTime, session::kStepCount;
using session::StatMask, session::StepBit, session::HasStep, session::ModeMask,
    session::kMaskReal, session::kMaskDisk, session::kMaskTime, session::kMaskDosSteps,
    session::kMaskAfterOnly;
using session::Phase, session::phSetup, session::phRecording, session::phInstalling,
    session::phProcessing, session::phDone;
using session::TwoPhase, session::tpNone, session::tpTwoPhase, session::tpRestart,
    session::tpSupplement;
using session::EndSessionKind, session::esNone, session::esRestart, session::esLogoff;
using session::InstallType, session::itNoExtension, session::itNotExecutable, session::itMissing,
    session::itNone, session::itDosExe, session::itDosCom, session::itDosBatch, session::itWin16,
    session::itWin32, session::itSetupInf, session::IsDosBased;
using session::WindowsType, session::wtUnknownPlatform, session::wtNtOther, session::wtNt3,
    session::wt9xOther, session::wtWin95, session::wtWin98, session::wtNt4, session::wtNt5;

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
