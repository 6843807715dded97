#include "platform/system.h"

#include <shellapi.h>

#include "platform/directory.h"

namespace platform {

namespace {

DWORD Attributes(const std::string& path) {
  return IsLongPath(path) ? GetFileAttributesW(LongPathForm(path).c_str())
                          : GetFileAttributesA(path.c_str());
}

}  // namespace

bool FileExists(const std::string& path) {
  DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
  DWORD attributes = Attributes(path);
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
