#include "platform/system.h"

#include <shellapi.h>

#include "platform/directory.h"

namespace platform {

DWORD AttributesOf(const std::string& path) {
  return IsLongPath(path) ? GetFileAttributesW(LongPathForm(path).c_str())
                          : GetFileAttributesA(path.c_str());
}

bool FileExists(const std::string& path) {
  DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
  DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> LogicalDriveRoots() {
  char buffer[260] = {};
  DWORD length = GetLogicalDriveStringsA(sizeof buffer, buffer);
  if (length > sizeof buffer) length = 0;  // did not fit: no list, as before
  std::vector<std::string> roots;
  for (const char* root = buffer; root < buffer + length && *root; root += lstrlenA(root) + 1)
    roots.emplace_back(root);
  return roots;
}

UINT DriveType(const std::string& root) { return GetDriveTypeA(root.c_str()); }

std::string ModulePath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::string WindowsFolder() {
  char buffer[MAX_PATH + 1] = {};
  UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
  return length < sizeof buffer ? std::string(buffer, length) : std::string();
}

std::string SystemFolder() {
  char buffer[MAX_PATH + 1] = {};
  UINT length = GetSystemDirectoryA(buffer, sizeof buffer);
  return length < sizeof buffer ? std::string(buffer, length) : std::string();
}

std::string TempFolder() {
  char buffer[MAX_PATH + 1] = {};
  DWORD length = GetTempPathA(sizeof buffer, buffer);
  std::string folder = length < sizeof buffer ? std::string(buffer, length) : std::string();
  if (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  return folder;
}

std::string CurrentUserKeyName() {
  std::vector<std::string> names;
  // ConvertSidToStringSidA is looked up: Windows 95 and 98 do not have it.
  using SidToText = BOOL(WINAPI*)(PSID, LPSTR*);
  const auto sidToText = reinterpret_cast<SidToText>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("advapi32.dll"), "ConvertSidToStringSidA")));
  HANDLE opened = nullptr;
  if (sidToText && OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) {
    Handle token(opened);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<char> user(size ? size : 1);
    char* text = nullptr;
    if (size && GetTokenInformation(token.get(), TokenUser, user.data(), size, &size) &&
        sidToText(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text)) {
      names.push_back(text);
      LocalFree(text);
    }
  }
  char name[257] = {};
  DWORD length = sizeof name;
  if (GetUserNameA(name, &length)) names.push_back(name);
  for (const std::string& candidate : names)
    if (OpenRegistryKey(HKEY_USERS, candidate, KEY_READ)) return candidate;
  return ".DEFAULT";
}

RegKey OpenRegistryKey(HKEY root, const std::string& subkey, REGSAM access) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subkey.c_str(), 0, access, &key) != ERROR_SUCCESS) return RegKey();
  return RegKey(key);
}

OSVERSIONINFOA WindowsVersion() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  static_assert(sizeof info == 148, "the version record of the 95 family");
  if (!GetVersionExA(&info)) info = OSVERSIONINFOA{};
  return info;
}

DWORD ShellExecutableType(const std::string& path) {
  return static_cast<DWORD>(SHGetFileInfoA(path.c_str(), 0, nullptr, 0, SHGFI_EXETYPE));
}

bool BinaryType(const std::string& path, DWORD& type) {
  return GetBinaryTypeA(path.c_str(), &type) != FALSE;
}

INT_PTR OpenWithShell(HWND owner, const std::string& path, const std::string& folder) {
  return reinterpret_cast<INT_PTR>(
      ShellExecuteA(owner, "open", path.c_str(), nullptr, folder.c_str(), SW_SHOWNORMAL));
}

bool StartProgramFor(const std::string& fileName) {
  char program[MAX_PATH] = "";
  if (reinterpret_cast<INT_PTR>(FindExecutableA(fileName.c_str(), nullptr, program)) <= 32)
    return false;
  return WinExec(program, SW_SHOWNORMAL) > 32;
}

bool EndWindowsSession(UINT flags) {
  HANDLE token = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    Handle owner(token);
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
      AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  }
  return ExitWindowsEx(flags, 0) != FALSE;
}

Handle OpenSharedMemory(const std::string& name) {
  return Handle(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str()));
}

Handle CreateSharedMemory(const std::string& name, DWORD size) {
  return Handle(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size,
                                   name.c_str()));
}

MappedView MapSharedMemory(const Handle& mapping) {
  return MappedView(mapping ? MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0) : nullptr);
}

}  // namespace platform
