#include "platform/system.h"

namespace platform {

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
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

}  // namespace platform
