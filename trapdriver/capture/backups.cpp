// Copies of files before the install changes them (platform/filebackups.h), taken by the
// hooks before the real call. Every call here runs inside a hook, so the file calls it
// makes pass the hooks untouched.
#include "trapdriver/capture/backups.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <unordered_set>

#include "platform/filebackups.h"
#include "platform/owners.h"

namespace trapcapture {
namespace {

// How often a process looks for the mapping again while it finds none.
constexpr DWORD kLookAgainMilliseconds = 1000;

// The folder named in the mapping, and the stems this process has handled for it.
class BackupState {
 public:
  BackupState() { InitializeCriticalSection(&lock_); }

  // Whether the file still needs a copy; marks it handled. Fills in the folder.
  bool Claim(const std::string& stem, std::wstring& folder) {
    EnterCriticalSection(&lock_);
    folder = FolderNow();
    if (folder != folder_) {  // a new session: what was handled was for the last one
      folder_ = folder;
      handled_.clear();
    }
    const bool claimed = !folder.empty() && handled_.insert(stem).second;
    LeaveCriticalSection(&lock_);
    return claimed;
  }

 private:
  std::wstring FolderNow() {
    if (!view_ && GetTickCount() - lastLook_ >= kLookAgainMilliseconds) {
      lastLook_ = GetTickCount();
      // Kept open for the life of the process: the program writes each session's folder
      // into the same mapping, and an empty one between sessions.
      if (HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, filebackups::kFolderMappingName))
        view_ = static_cast<const wchar_t*>(
            MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, filebackups::kFolderMappingBytes));
    }
    if (!view_) return {};
    const size_t limit = filebackups::kFolderMappingBytes / sizeof(wchar_t);
    size_t length = 0;
    while (length < limit && view_[length] != 0) ++length;
    return length < limit ? std::wstring(view_, length) : std::wstring();
  }

  CRITICAL_SECTION lock_;
  const wchar_t* view_ = nullptr;
  DWORD lastLook_ = GetTickCount() - kLookAgainMilliseconds;
  std::wstring folder_;
  std::unordered_set<std::string> handled_;
};

BackupState& State() {
  static BackupState* state = new BackupState;  // outlives every hooked thread
  return *state;
}

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                                   static_cast<int>(wide.size()));
  wide.resize(length > 0 ? length : 0);
  return wide;
}

// "\??\C:\X" -> "\\?\C:\X": the Win32 form that takes paths of any length.
std::wstring LongWin32Name(const std::wstring& nativeName) {
  if (nativeName.compare(0, 4, L"\\??\\") == 0) return L"\\\\?\\" + nativeName.substr(4);
  return nativeName;
}

uint64_t Join(DWORD high, DWORD low) { return static_cast<uint64_t>(high) << 32 | low; }
uint64_t Join(const FILETIME& time) { return Join(time.dwHighDateTime, time.dwLowDateTime); }

std::string InfoText(const std::string& path, const WIN32_FILE_ATTRIBUTE_DATA& data) {
  char numbers[200];
  std::snprintf(numbers, sizeof numbers,
                "attributes=%lX\r\nsize=%llX\r\nwritten=%llX\r\ncreated=%llX\r\naccessed=%llX\r\n",
                static_cast<unsigned long>(data.dwFileAttributes),
                static_cast<unsigned long long>(Join(data.nFileSizeHigh, data.nFileSizeLow)),
                static_cast<unsigned long long>(Join(data.ftLastWriteTime)),
                static_cast<unsigned long long>(Join(data.ftCreationTime)),
                static_cast<unsigned long long>(Join(data.ftLastAccessTime)));
  return "path=" + path + "\r\n" + numbers;
}

// Writes the description under a name of its own first: a copy counts once it is there.
void WriteInfo(const std::wstring& stemPath, const std::string& text) {
  const std::wstring writing = stemPath + L".NEW";
  bool whole = false;
  {
    platform::FileHandle file(CreateFileW(writing.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    whole = WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
            written == text.size();
  }
  const std::wstring info = stemPath + Wide(filebackups::kInfoExtension);
  if (!whole || !MoveFileExW(writing.c_str(), info.c_str(), MOVEFILE_REPLACE_EXISTING))
    DeleteFileW(writing.c_str());
}

}  // namespace

void BackUpBeforeChange(const std::wstring& nativeName, const std::string& path) {
  const std::string stem = filebackups::StemOf(path);
  std::wstring folder;
  if (!State().Claim(stem, folder)) return;
  const std::wstring source = LongWin32Name(nativeName);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(source.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return;
  const std::wstring stemPath = LongWin32Name(L"\\??\\" + folder) + L"\\" + Wide(stem);
  const std::wstring copy = stemPath + Wide(filebackups::kCopyExtension);
  // Whoever makes the copy first copies; another process that touched the file first
  // has its copy there already.
  if (!CopyFileW(source.c_str(), copy.c_str(), TRUE)) return;
  SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
  WriteInfo(stemPath, InfoText(path, data));
}

void NoteMadeHere(const std::string& path) {
  std::wstring folder;
  State().Claim(filebackups::StemOf(path), folder);
}

}  // namespace trapcapture
