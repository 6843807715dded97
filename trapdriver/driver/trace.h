#pragma once
// The processes the driver has put the capture into during this load.
namespace trapdriver {

// Makes the capture go quiet in each of them that still runs, and forgets them: called when
// tracking stops, so a later session starts clean.
void StopTracedProcesses();

}  // namespace trapdriver
