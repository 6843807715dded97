#include "dialogs/folderbrowser.h"

#include <ole2.h>
#include <shlobj.h>

#include "engines/helpers.h"
#include "platform/system.h"

namespace dialogs {
namespace {

constexpr UINT kBrowseFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_STATUSTEXT;

// An item identifier list that the shell allocated and the caller frees.
struct ItemList {
  LPITEMIDLIST items = nullptr;
  ~ItemList() { CoTaskMemFree(items); }
};

// OLE started for the browser's new style and stopped again.
struct OleSession {
  bool started = false;
  explicit OleSession(bool wanted) : started(wanted && SUCCEEDED(OleInitialize(nullptr))) {}
  ~OleSession() {
    if (started) OleUninitialize();
  }
};

std::string PathOf(LPCITEMIDLIST items) {
  char path[MAX_PATH] = "";
  return items && SHGetPathFromIDListA(items, path) ? path : "";
}

int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM lParam, LPARAM data) {
  const auto* browsing = reinterpret_cast<const FolderBrowsing*>(data);
  if (message == BFFM_INITIALIZED && !browsing->start.empty()) {
    const std::string start =
        engines::WithoutTrailingBackslash(browsing->start.substr(0, MAX_PATH));
    SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(start.c_str()));
  } else if (message == BFFM_SELCHANGED) {
    const std::string path = PathOf(reinterpret_cast<LPCITEMIDLIST>(lParam));
    SendMessageA(browser, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(path.c_str()));
    if (browsing->fixedOrNetworkOnly) {
      const bool watchable =
          path.size() >= 3 && IsWatchableDriveType(platform::DriveType(path.substr(0, 3)));
      SendMessageA(browser, BFFM_ENABLEOK, 0, watchable);
    }
  }
  return 0;
}

using FileDialog = BOOL(WINAPI*)(LPOPENFILENAMEA);

std::string ChooseFile(HWND owner, FileChoosing& choosing, FileDialog run) {
  char file[MAX_PATH] = "";
  OPENFILENAMEA dialog{};
  // Windows 95 and NT 4 refuse the larger record of Windows 2000 and later, which is what
  // sizeof gives with this build's headers.
  dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = choosing.filter;
  dialog.nFilterIndex = choosing.filterIndex;
  dialog.lpstrFile = file;
  dialog.nMaxFile = sizeof file;
  dialog.lpstrInitialDir = choosing.folder.c_str();
  dialog.lpstrTitle = choosing.title.c_str();
  dialog.lpstrDefExt = choosing.defaultExtension.c_str();
  dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | choosing.flags;
  if (!run(&dialog)) return "";
  choosing.filterIndex = dialog.nFilterIndex;
  return file;
}

}  // namespace

std::string ChooseFileToOpen(HWND owner, FileChoosing& choosing) {
  return ChooseFile(owner, choosing, GetOpenFileNameA);
}

std::string ChooseFileToSave(HWND owner, FileChoosing& choosing) {
  return ChooseFile(owner, choosing, GetSaveFileNameA);
}

bool IsWatchableDriveType(UINT driveType) {
  return driveType == DRIVE_FIXED || driveType == DRIVE_REMOTE;
}

std::string BrowseForFolder(HWND owner, const FolderBrowsing& browsing) {
  ItemList root, chosen;
  if (FAILED(SHGetSpecialFolderLocation(owner, CSIDL_DRIVES, &root.items))) return "";
  BROWSEINFOA info{};
  info.hwndOwner = owner;
  info.pidlRoot = root.items;
  info.lpszTitle = browsing.title.c_str();
  info.ulFlags = kBrowseFlags;
  // The new style needs OLE in the calling thread.
  OleSession ole(browsing.canMakeFolder);
  if (browsing.canMakeFolder) info.ulFlags |= BIF_NEWDIALOGSTYLE;
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(&browsing);
  chosen.items = SHBrowseForFolderA(&info);
  return PathOf(chosen.items);
}

}  // namespace dialogs
