#include "platform/changes.h"

#include "platform/directory.h"
#include "platform/owners.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "platform/valuenames.h"

namespace platform {
namespace {

LONG LastErrorOr(BOOL done) { return done ? ERROR_SUCCESS : static_cast<LONG>(GetLastError()); }

uint64_t Join(DWORD high, DWORD low) { return static_cast<uint64_t>(high) << 32 | low; }

// Paths of MAX_PATH characters and more go through the wide calls, which take them whole.
BOOL SetAttributes(const std::string& path, DWORD attributes) {
  return IsLongPath(path) ? SetFileAttributesW(WidePath(path).c_str(), attributes)
                          : SetFileAttributesA(path.c_str(), attributes);
}
void MakeWritable(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    SetAttributes(path, attributes & ~FILE_ATTRIBUTE_READONLY);
}

}  // namespace

LONG MakeFolder(const std::string& path) {
  const BOOL made = IsLongPath(path) ? CreateDirectoryW(WidePath(path).c_str(), nullptr)
                                     : CreateDirectoryA(path.c_str(), nullptr);
  if (made) return ERROR_SUCCESS;
  const LONG code = static_cast<LONG>(GetLastError());
  return code == ERROR_ALREADY_EXISTS && FolderExists(path) ? ERROR_SUCCESS : code;
}

LONG RemoveFile(const std::string& path) {
  MakeWritable(path);
  return LastErrorOr(IsLongPath(path) ? DeleteFileW(WidePath(path).c_str())
                                      : DeleteFileA(path.c_str()));
}

LONG RemoveFolder(const std::string& path) {
  return LastErrorOr(IsLongPath(path) ? RemoveDirectoryW(WidePath(path).c_str())
                                      : RemoveDirectoryA(path.c_str()));
}

LONG CopyFileOver(const std::string& from, const std::string& to) {
  return LastErrorOr(CopyFileA(from.c_str(), to.c_str(), FALSE));
}

LONG MakeFolderPath(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  if (FolderExists(path)) return ERROR_SUCCESS;
  if (slash != std::string::npos && slash > 2) MakeFolderPath(path.substr(0, slash));
  return MakeFolder(path);
}

void EmptyFolder(const std::string& folder) {
  FolderSearch search(folder);
  FolderEntry entry;
  while (search.Next(entry))
    if (!entry.IsFolder()) RemoveFile(folder + "\\" + entry.name);
}

LONG RestoreFile(const FileCopy& from, const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  if (slash != std::string::npos && slash > 2) MakeFolderPath(path.substr(0, slash));
  MakeWritable(path);
  const BOOL copied =
      IsLongPath(path) ? CopyFileW(WidePath(from.copy).c_str(), WidePath(path).c_str(), FALSE)
                       : CopyFileA(from.copy.c_str(), path.c_str(), FALSE);
  if (LONG code = LastErrorOr(copied)) return code;
  auto time = [](uint64_t value) {
    return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
  };
  const FILETIME created = time(from.created), accessed = time(from.accessed),
                 written = time(from.written);
  {
    FileHandle file(IsLongPath(path)
                        ? CreateFileW(WidePath(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)
                        : CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file || !SetFileTime(file.get(), &created, &accessed, &written))
      return static_cast<LONG>(GetLastError());
  }
  const DWORD kept = from.attributes & ~FILE_ATTRIBUTE_DIRECTORY;
  return LastErrorOr(SetAttributes(path, kept ? kept : FILE_ATTRIBUTE_NORMAL));
}

bool EntryStamp(const std::string& path, bool& isFolder, uint64_t& size, uint64_t& writeTime) {
  WIN32_FIND_DATAA found;
  if (!FindEntry(path, found)) return false;
  isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  size = isFolder ? 0 : Join(found.nFileSizeHigh, found.nFileSizeLow);
  writeTime = isFolder ? 0 : Join(found.ftLastWriteTime.dwHighDateTime,
                                  found.ftLastWriteTime.dwLowDateTime);
  return true;
}

HKEY RegistryRoot(const std::string& name) {
  if (lstrcmpiA(name.c_str(), "HKEY_USERS") == 0) return HKEY_USERS;
  if (lstrcmpiA(name.c_str(), "HKEY_LOCAL_MACHINE") == 0) return HKEY_LOCAL_MACHINE;
  return nullptr;
}

LONG ReadValue(HKEY root, const std::string& subkey, const std::string& name, DWORD& type,
               std::string& data) {
  HKEY opened = nullptr;
  LONG code = RegOpenKeyExA(root, subkey.c_str(), 0, KEY_QUERY_VALUE, &opened);
  if (code != ERROR_SUCCESS) return code;
  RegKey key(opened);
  const std::string realName = RealValueName(name);
  code = RegQueryValueExA(key.get(), realName.c_str(), nullptr, &type, nullptr, nullptr);
  if (code != ERROR_SUCCESS) return code;
  return ReadValueData(key.get(), realName, data);
}

LONG SetValue(HKEY root, const std::string& subkey, const std::string& name, DWORD type,
              const std::string& data) {
  HKEY opened = nullptr;
  LONG code = RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &opened, nullptr);
  if (code != ERROR_SUCCESS) return code;
  RegKey key(opened);
  return RegSetValueExA(key.get(), RealValueName(name).c_str(), 0, type,
                        reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
}

LONG DeleteValue(HKEY root, const std::string& subkey, const std::string& name) {
  HKEY opened = nullptr;
  LONG code = RegOpenKeyExA(root, subkey.c_str(), 0, KEY_SET_VALUE, &opened);
  if (code != ERROR_SUCCESS) return code;
  RegKey key(opened);
  return RegDeleteValueA(key.get(), RealValueName(name).c_str());
}

LONG MakeKey(HKEY root, const std::string& subkey) {
  HKEY opened = nullptr;
  LONG code = RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &opened,
                              nullptr);
  RegKey key(opened);
  return code;
}

bool KeyExists(HKEY root, const std::string& subkey) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  RegKey key(opened);
  return true;
}

bool IsVolatileKey(HKEY root, const std::string& subkey) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_CREATE_SUB_KEY, &opened) != ERROR_SUCCESS) return false;
  RegKey key(opened);
  const char probe[] = "Vortan4 volatile key probe";
  HKEY made = nullptr;
  DWORD disposition = 0;
  const LONG code = RegCreateKeyExA(key.get(), probe, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ,
                                    nullptr, &made, &disposition);
  if (code != ERROR_SUCCESS) return code == ERROR_CHILD_MUST_BE_VOLATILE;
  RegKey{made};  // closed at once: only the answer was wanted
  if (disposition == REG_CREATED_NEW_KEY) RegDeleteKeyA(key.get(), probe);
  return false;
}

LONG DeleteEmptyKey(HKEY root, const std::string& subkey) {
  {
    HKEY opened = nullptr;
    LONG code = RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &opened);
    if (code != ERROR_SUCCESS) return code;
    RegKey key(opened);
    DWORD subkeys = 0, values = 0;
    code = RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                            &values, nullptr, nullptr, nullptr, nullptr);
    if (code != ERROR_SUCCESS) return code;
    if (subkeys > 0 || values > 0) return ERROR_DIR_NOT_EMPTY;
  }
  return RegDeleteKeyA(root, subkey.c_str());
}

}  // namespace platform

namespace platform {

bool MakeProfileSection(const std::string& file, const std::string& section) {
  return WritePrivateProfileSectionA(section.c_str(), "\0", file.c_str()) != FALSE;
}

void FlushProfile(const std::string& file) {
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str());
}

}  // namespace platform
