#pragma once
// The capture library beside the driver, and the processes the driver traces.
#include <string>

namespace trapdriver {

// VORTCAP.DLL in this library's folder.
std::string CapturePath();

// Makes the capture go quiet in each traced process that still runs: called when tracking
// stops, so a later session starts clean.
void StopTracedProcesses();

}  // namespace trapdriver
