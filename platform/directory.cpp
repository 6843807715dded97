#include "platform/directory.h"

#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace platform {
namespace {

// Old DOS volume-label attribute: such an entry names the disk, not a file.
constexpr DWORD kVolumeLabel = 0x8;
constexpr size_t kQueryBufferSize = 16 * 1024;
constexpr NTSTATUS kNoMoreFiles = static_cast<NTSTATUS>(0x80000006L);

using NtQueryDirectoryFileFunction = NTSTATUS(NTAPI*)(HANDLE, HANDLE, PIO_APC_ROUTINE, PVOID,
                                                      PIO_STATUS_BLOCK, PVOID, ULONG,
                                                      FILE_INFORMATION_CLASS, BOOLEAN,
                                                      PUNICODE_STRING, BOOLEAN);

FARPROC NtdllExport(const char* name) {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");  // absent on Windows 95 and 98
  return ntdll ? GetProcAddress(ntdll, name) : nullptr;
}

NtQueryDirectoryFileFunction DirectoryQuery() {
  // Through void*: a FARPROC takes no arguments, and GCC warns about the direct cast.
  static const auto function = reinterpret_cast<NtQueryDirectoryFileFunction>(
      reinterpret_cast<void*>(NtdllExport("NtQueryDirectoryFile")));
  return function;
}

FILETIME ToFileTime(const LARGE_INTEGER& time) {
  FILETIME result;
  result.dwLowDateTime = time.LowPart;
  result.dwHighDateTime = static_cast<DWORD>(time.HighPart);
  return result;
}

}  // namespace

bool FindEntry(const std::string& path, WIN32_FIND_DATAA& found) {
  FindHandle find(FindFirstFileA(path.c_str(), &found));
  return find.valid();
}

bool RunningUnderWine() {
  static const bool wine = NtdllExport("wine_get_version") != nullptr;
  return wine;
}

FolderSearch::FolderSearch(const std::string& folder, CreationTime creation) {
  if (creation == CreationTime::ChangeTimeOnWine && RunningUnderWine() && DirectoryQuery()) {
    // "c:" alone would be the drive's current folder.
    std::string open = folder.size() == 2 && folder[1] == ':' ? folder + "\\" : folder;
    folder_.reset(CreateFileA(open.c_str(), FILE_LIST_DIRECTORY,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (folder_) {
      buffer_.resize(kQueryBufferSize);
      bufferHasEntries_ = Query(true);
    }
    return;
  }
  find_.reset(FindFirstFileA((folder + "\\*.*").c_str(), &found_));
  havePending_ = find_.valid();
}

bool FolderSearch::Next(FolderEntry& entry) {
  for (;;) {
    bool got = folder_ ? NextQueried(entry) : NextFound(entry);
    if (!got) return false;
    if (!(entry.attributes & kVolumeLabel)) return true;
  }
}

bool FolderSearch::NextFound(FolderEntry& entry) {
  if (!havePending_) return false;
  entry.name.assign(found_.cFileName);
  entry.attributes = found_.dwFileAttributes;
  entry.creationTime = found_.ftCreationTime;
  entry.lastWriteTime = found_.ftLastWriteTime;
  entry.sizeLow = found_.nFileSizeLow;
  havePending_ = FindNextFileA(find_.get(), &found_) != FALSE;
  return true;
}

bool FolderSearch::Query(bool restart) {
  IO_STATUS_BLOCK status{};
  NTSTATUS result = DirectoryQuery()(folder_.get(), nullptr, nullptr, nullptr, &status,
                                     buffer_.data(), static_cast<ULONG>(buffer_.size()),
                                     FileBothDirectoryInformation, FALSE, nullptr, restart);
  offset_ = 0;
  filled_ = result >= 0 && result != kNoMoreFiles ? std::min<size_t>(status.Information, buffer_.size()) : 0;
  return filled_ > 0;
}

bool FolderSearch::NextQueried(FolderEntry& entry) {
  constexpr size_t kNameOffset = offsetof(FILE_BOTH_DIR_INFORMATION, FileName);
  if (!bufferHasEntries_ || offset_ + kNameOffset > filled_) return false;
  FILE_BOTH_DIR_INFORMATION information;
  std::memcpy(&information, buffer_.data() + offset_, kNameOffset);
  if (offset_ + kNameOffset + information.FileNameLength > filled_) return false;

  // The same conversion that the A search functions make. Entries are 8-byte aligned.
  const auto* wideName = reinterpret_cast<const WCHAR*>(buffer_.data() + offset_ + kNameOffset);
  const int wideLength = static_cast<int>(information.FileNameLength / sizeof(WCHAR));
  const UINT codePage = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
  int size = WideCharToMultiByte(codePage, 0, wideName, wideLength, nullptr, 0, nullptr, nullptr);
  entry.name.resize(size);
  if (size > 0)
    WideCharToMultiByte(codePage, 0, wideName, wideLength, &entry.name[0], size, nullptr, nullptr);

  entry.attributes = information.FileAttributes;
  entry.creationTime = ToFileTime(information.ChangeTime);
  entry.lastWriteTime = ToFileTime(information.LastWriteTime);
  entry.sizeLow = information.EndOfFile.LowPart;

  if (information.NextEntryOffset != 0)
    offset_ += information.NextEntryOffset;
  else
    bufferHasEntries_ = Query(false);
  return true;
}

}  // namespace platform
