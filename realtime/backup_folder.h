#pragma once
// The folder where the capture copies files before their first change while real-time
// tracking runs (platform/filebackups.h): named to every traced process through a mapping
// from the start of tracking to its end. What was copied stays for the report's undo data.
#include <string>

namespace realtime {

// The folder's name in the program's temporary folder.
constexpr char kBackupFolderName[] = "VORTBACK.$$$";

// Empties the folder of an earlier session, makes it and names it to the capture.
void StartFileBackups(const std::string& folder);
// From now on nothing is copied; the folder and its copies stay.
void StopFileBackups();

}  // namespace realtime
