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

UINT FileCodePage() { return AreFileApisANSI() ? CP_ACP : CP_OEMCP; }

}  // namespace

bool IsLongPath(const std::string& path) { return path.size() >= MAX_PATH - 1; }

namespace {

std::wstring Widened(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  const int length = MultiByteToWideChar(FileCodePage(), 0, text.data(),
                                         static_cast<int>(text.size()), &wide[0],
                                         static_cast<int>(wide.size()));
  wide.resize(length > 0 ? length : 0);
  return wide;
}

}  // namespace

std::wstring LongPathForm(const std::string& path) {
  if (path.compare(0, 4, "\\\\?\\") == 0) return Widened(path);
  if (path.size() > 2 && path[0] == '\\' && path[1] == '\\')
    return L"\\\\?\\UNC\\" + Widened(path.substr(2));
  return L"\\\\?\\" + Widened(path);
}

std::wstring WidePath(const std::string& path) {
  return IsLongPath(path) ? LongPathForm(path) : Widened(path);
}

std::string AnsiFileName(const WCHAR* name, size_t length) {
  const int wideLength = static_cast<int>(length);
  int size = WideCharToMultiByte(FileCodePage(), 0, name, wideLength, nullptr, 0, nullptr, nullptr);
  std::string text(size > 0 ? size : 0, '\0');
  if (size > 0)
    WideCharToMultiByte(FileCodePage(), 0, name, wideLength, &text[0], size, nullptr, nullptr);
  return text;
}

bool FindEntry(const std::string& path, WIN32_FIND_DATAA& found) {
  if (!IsLongPath(path)) {
    FindHandle find(FindFirstFileA(path.c_str(), &found));
    return find.valid();
  }
  WIN32_FIND_DATAW wide;
  FindHandle find(FindFirstFileW(LongPathForm(path).c_str(), &wide));
  if (!find.valid()) return false;
  found = WIN32_FIND_DATAA{};
  found.dwFileAttributes = wide.dwFileAttributes;
  found.ftCreationTime = wide.ftCreationTime;
  found.ftLastAccessTime = wide.ftLastAccessTime;
  found.ftLastWriteTime = wide.ftLastWriteTime;
  found.nFileSizeHigh = wide.nFileSizeHigh;
  found.nFileSizeLow = wide.nFileSizeLow;
  lstrcpynA(found.cFileName, AnsiFileName(wide.cFileName, lstrlenW(wide.cFileName)).c_str(),
            MAX_PATH);
  return true;
}

bool RunningUnderWine() {
  static const bool wine = NtdllExport("wine_get_version") != nullptr;
  return wine;
}

FolderSearch::FolderSearch(const std::string& folder, CreationTime creation) {
  if (creation == CreationTime::ChangeTimeOnWine && RunningUnderWine() && DirectoryQuery()) {
    // "c:" alone would be the drive's current folder.
    std::string open = folder.size() == 2 && folder[1] == ':' ? folder + "\\" : folder;
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    folder_.reset(IsLongPath(open)
                      ? CreateFileW(LongPathForm(open).c_str(), FILE_LIST_DIRECTORY, share, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)
                      : CreateFileA(open.c_str(), FILE_LIST_DIRECTORY, share, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (folder_) {
      buffer_.resize(kQueryBufferSize);
      bufferHasEntries_ = Query(true);
    }
    return;
  }
  const std::string pattern = folder + "\\*.*";
  wide_ = IsLongPath(pattern);
  find_.reset(wide_ ? FindFirstFileW((LongPathForm(folder) + L"\\*").c_str(), &foundWide_)
                    : FindFirstFileA(pattern.c_str(), &found_));
  havePending_ = find_.valid();
}

bool FolderSearch::Next(FolderEntry& entry) {
  for (;;) {
    bool got = folder_ ? NextQueried(entry) : wide_ ? NextFoundWide(entry) : NextFound(entry);
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

bool FolderSearch::NextFoundWide(FolderEntry& entry) {
  if (!havePending_) return false;
  entry.name = AnsiFileName(foundWide_.cFileName, lstrlenW(foundWide_.cFileName));
  entry.attributes = foundWide_.dwFileAttributes;
  entry.creationTime = foundWide_.ftCreationTime;
  entry.lastWriteTime = foundWide_.ftLastWriteTime;
  entry.sizeLow = foundWide_.nFileSizeLow;
  havePending_ = FindNextFileW(find_.get(), &foundWide_) != FALSE;
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
  entry.name = AnsiFileName(wideName, information.FileNameLength / sizeof(WCHAR));

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

bool LinkTrail::MayEnter(const std::string& path, DWORD attributes, bool& entered) {
  entered = false;
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
  FileHandle folder(CreateFileW(WidePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION facts;
  if (!folder || !GetFileInformationByHandle(folder.get(), &facts)) return false;
  const Identity identity{facts.dwVolumeSerialNumber, facts.nFileIndexHigh, facts.nFileIndexLow};
  for (const Identity& on : trail_)
    if (on.volume == identity.volume && on.high == identity.high && on.low == identity.low)
      return false;
  trail_.push_back(identity);
  entered = true;
  return true;
}

}  // namespace platform
