#pragma once
// Small questions put to the system: files, folders, drives, places, registry keys.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/owners.h"

namespace platform {

// Paths of any length (IsLongPath, platform/directory.h).
bool FileExists(const std::string& path);    // exists and is not a folder
// The attributes of a file or folder, paths past MAX_PATH too; INVALID_FILE_ATTRIBUTES
// when there is none.
DWORD AttributesOf(const std::string& path);
bool FolderExists(const std::string& path);

// The roots of the logical drives ("C:\"), read into a buffer of 260 characters as
// the drive list always was; UINT is a GetDriveType code.
std::vector<std::string> LogicalDriveRoots();
UINT DriveType(const std::string& root);

std::string ModulePath();      // full path of the running program
std::string WindowsFolder();   // without a trailing backslash, as the system gives it
std::string SystemFolder();    // the same for the system folder
std::string TempFolder();      // the temporary folder, without a trailing backslash
// The name of the current user's key below HKEY_USERS: the security id in text on the NT
// family, the user's name or ".DEFAULT" on Windows 95 and 98 (the first that exists).
std::string CurrentUserKeyName();

// An open key, or an empty owner when the key cannot be opened with that access.
RegKey OpenRegistryKey(HKEY root, const std::string& subkey, REGSAM access);

// The version record (its size field 148); zeros when the system refuses.
OSVERSIONINFOA WindowsVersion();

// The shell's executable type of a file (SHGFI_EXETYPE): 0 when it is no program.
DWORD ShellExecutableType(const std::string& path);
// The system's binary type (an SCS_ code); false when it cannot tell.
bool BinaryType(const std::string& path, DWORD& type);

// Has the shell open a document in the program it associates with the file's type.
// Answers the shell's code: above 32 is success.
INT_PTR OpenWithShell(HWND owner, const std::string& path, const std::string& folder);
// Starts, in a normal window, the program that the shell finds for a file name (the file
// itself when it is a program on the search path); false when none is found or it fails
// to start.
bool StartProgramFor(const std::string& fileName);

// Asks the system to restart (EWX_REBOOT) or to log the user off (EWX_LOGOFF). On the
// NT family the shutdown privilege is enabled first, without which a restart is refused.
bool EndWindowsSession(UINT flags);

// A named block of shared memory backed by the paging file. Open answers an empty
// owner when no block of that name exists; Create answers one when it cannot be made.
Handle OpenSharedMemory(const std::string& name);
Handle CreateSharedMemory(const std::string& name, DWORD size);
MappedView MapSharedMemory(const Handle& mapping);

}  // namespace platform
