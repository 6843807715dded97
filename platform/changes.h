#pragma once
// The calls that put things back: files, folders and registry keys and values removed,
// made or written. Each answers the system's code (ERROR_SUCCESS when done), so that the
// caller can say item by item what happened.
#include <windows.h>

#include <cstdint>
#include <string>

namespace platform {

LONG MakeFolder(const std::string& path);    // an existing folder is success
LONG RemoveFile(const std::string& path);    // read-only files too
LONG RemoveFolder(const std::string& path);  // only an empty one
// Copies a file with its attributes and times, over a file of that name.
LONG CopyFileOver(const std::string& from, const std::string& to);
// Makes the folder and every missing folder above it.
LONG MakeFolderPath(const std::string& path);
// Deletes every file in the folder, not its subfolders; a missing folder is success.
void EmptyFolder(const std::string& folder);

// A file as it stood, from a copy of its contents.
struct FileCopy {
  std::string copy;  // the copy's path
  DWORD attributes = 0;
  uint64_t size = 0, written = 0, created = 0, accessed = 0;  // times as FILETIME values
};
// Puts the file back: the folders above it made, a file of that name replaced (read-only
// or not), then the attributes and times it had.
LONG RestoreFile(const FileCopy& from, const std::string& path);

// Size and last-write time (UTC file time) of a file or folder; false when there is none.
bool EntryStamp(const std::string& path, bool& isFolder, uint64_t& size, uint64_t& writeTime);

// "HKEY_USERS" or "HKEY_LOCAL_MACHINE"; null for any other name.
HKEY RegistryRoot(const std::string& name);

// Value names as written (platform/valuenames.h): "@" the default value, "@@" one named "@".
// The type and every byte of a value; ERROR_FILE_NOT_FOUND when the key or value is missing.
LONG ReadValue(HKEY root, const std::string& subkey, const std::string& name, DWORD& type,
               std::string& data);
// Writes a value, making its key (and the keys above it) if needed.
LONG SetValue(HKEY root, const std::string& subkey, const std::string& name, DWORD type,
              const std::string& data);
LONG DeleteValue(HKEY root, const std::string& subkey, const std::string& name);
LONG MakeKey(HKEY root, const std::string& subkey);
bool KeyExists(HKEY root, const std::string& subkey);
// Whether the key is volatile (kept for the session only): the system refuses it a
// lasting subkey. Asked by making one and deleting it again at once.
bool IsVolatileKey(HKEY root, const std::string& subkey);
// Deletes a key that holds no values and no subkeys (ERROR_DIR_NOT_EMPTY otherwise);
// never a whole tree, which Windows 95 and 98 would delete without asking.
LONG DeleteEmptyKey(HKEY root, const std::string& subkey);

}  // namespace platform

namespace platform {

// Makes an empty section in an INI file, if it has none of that name.
bool MakeProfileSection(const std::string& file, const std::string& section);
// Writes out what the profile functions hold of the file, before it is edited as text.
void FlushProfile(const std::string& file);

}  // namespace platform
