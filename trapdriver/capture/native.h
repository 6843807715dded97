#pragma once
// ntdll's queries that the capture asks before and after an operation, and the native types
// they use. None of them is hooked, so the capture calls them directly.
#include <windows.h>
#include <winternl.h>

#include <cstdint>
#include <string>
#include <vector>

namespace trapcapture {

constexpr NTSTATUS kStatusAccessDenied = static_cast<NTSTATUS>(0xC0000022);

// A file's or folder's native name ("\??\C:\..."), or "" when it has none.
std::wstring HandleName(HANDLE handle);
// The native name in a call's object attributes, joined to its root handle's name.
std::wstring AttributesName(const OBJECT_ATTRIBUTES* attributes);
std::wstring UnicodeText(const UNICODE_STRING* text);

struct FileState {
  bool exists = false, directory = false;
  uint64_t size = 0, writeTime = 0;
};
FileState QueryFileState(OBJECT_ATTRIBUTES* attributes);
FileState QueryFileState(const std::wstring& nativeName);
bool HandleIsDirectory(HANDLE file);

struct FolderEntry {
  std::wstring name;
  bool folder = false;
};
// The entries of a folder (native name), "." and ".." left out. Opened sharing everything,
// so that a handle the program holds on the folder (a rename's) does not stand in the way.
std::vector<FolderEntry> FolderEntries(const std::wstring& nativeFolder);

// A key's native name ("\REGISTRY\Machine\..."), or "".
std::wstring KeyName(HANDLE key);

struct ValueState {
  bool exists = false;
  uint32_t type = 0;
  std::string data;  // raw, as stored
};
// Reads the value, reopening the key for reading when the caller's handle may only write.
ValueState QueryValue(HANDLE key, const UNICODE_STRING* name);

struct NamedValue {
  std::wstring name;
  ValueState state;
};
// Every value of the key, read likewise.
std::vector<NamedValue> KeyValues(HANDLE key);

}  // namespace trapcapture
