#pragma once
// Small questions put to the system: files, folders, drives, places, registry keys.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/owners.h"

namespace platform {

bool FileExists(const std::string& path);    // exists and is not a folder
bool FolderExists(const std::string& path);

// The roots of the logical drives ("C:\"), read into a buffer of 260 characters as
// the drive list always was; UINT is a GetDriveType code.
std::vector<std::string> LogicalDriveRoots();
UINT DriveType(const std::string& root);

std::string ModulePath();      // full path of the running program
std::string WindowsFolder();   // without a trailing backslash, as the system gives it

// An open key, or an empty owner when the key cannot be opened with that access.
RegKey OpenRegistryKey(HKEY root, const std::string& subkey, REGSAM access);

}  // namespace platform
