#pragma once
// The shell's folder browser as the option dialogs use it: rooted at My Computer, file
// system folders only, the selected folder's path shown as its status text.
#include <windows.h>

#include <string>

namespace dialogs {

struct FolderBrowsing {
  std::string title;
  std::string start;                // selected when the browser opens; may be ""
  bool fixedOrNetworkOnly = false;  // OK only on folders of fixed and network drives
};

// The chosen folder's path as the system gives it (a drive root ends in a backslash,
// other folders do not), or "" when the user cancelled.
std::string BrowseForFolder(HWND owner, const FolderBrowsing& browsing);

// Fixed (3) and network (4) drives can be watched; removable, CD-ROM and RAM drives not.
bool IsWatchableDriveType(UINT driveType);

}  // namespace dialogs
