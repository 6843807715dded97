#pragma once
// The shell's folder browser as the option dialogs use it: rooted at My Computer, file
// system folders only, the selected folder's path shown as its status text. And the
// common file dialogs, set up the one way every Windows version takes.
#include <windows.h>

#include <commdlg.h>

#include <string>

namespace dialogs {

struct FolderBrowsing {
  std::string title;
  std::string start;                // selected when the browser opens; may be ""
  bool fixedOrNetworkOnly = false;  // OK only on folders of fixed and network drives
  // A "Make New Folder" button (the shell of Windows 98 with Internet Explorer 5, 2000
  // and Wine; the older shells show the browser without it). Windows shows no status
  // text in that style.
  bool canMakeFolder = false;
};

// The chosen folder's path as the system gives it (a drive root ends in a backslash,
// other folders do not), or "" when the user cancelled.
std::string BrowseForFolder(HWND owner, const FolderBrowsing& browsing);

// Fixed (3) and network (4) drives can be watched; removable, CD-ROM and RAM drives not.
bool IsWatchableDriveType(UINT driveType);

// What a file dialog asks for. The filter is pairs of description and pattern, each
// ended by a NUL ("INI Files\0*.INI\0").
struct FileChoosing {
  std::string title;
  const char* filter = "";
  std::string folder;            // where it opens
  std::string defaultExtension;  // added to a name typed without one
  DWORD filterIndex = 1;         // in: the filter shown first; out: the one chosen
  DWORD flags = 0;               // OFN_ flags besides OFN_EXPLORER and OFN_HIDEREADONLY
};

// The file chosen in the open (or save) dialog, or "" when the user cancelled.
std::string ChooseFileToOpen(HWND owner, FileChoosing& choosing);
std::string ChooseFileToSave(HWND owner, FileChoosing& choosing);

}  // namespace dialogs
