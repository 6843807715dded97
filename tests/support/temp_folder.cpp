#include "support/temp_folder.h"

#include <windows.h>

#include <stdexcept>

#include "platform/directory.h"
#include "platform/owners.h"

namespace testing_support {
namespace {

// Through the wide calls, which take paths of any length: tests build trees of any depth.
void CreateOneFolder(const std::string& path) {
  CreateDirectoryW(platform::WidePath(path).c_str(), nullptr);
}

void MakeFolders(const std::string& path) {
  for (size_t slash = path.find('\\', 3); slash != std::string::npos;
       slash = path.find('\\', slash + 1))
    CreateOneFolder(path.substr(0, slash));
  CreateOneFolder(path);
}

platform::FileHandle OpenFile(const std::string& path, DWORD access, DWORD disposition) {
  const DWORD share = access == GENERIC_READ ? FILE_SHARE_READ : 0;
  return platform::FileHandle(CreateFileW(platform::WidePath(path).c_str(), access, share,
                                          nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

}  // namespace

void RemoveTree(const std::string& path) {
  const std::wstring wide = platform::WidePath(path);
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileW(wide.c_str());
    return;
  }
  WIN32_FIND_DATAW found;
  {
    platform::FindHandle find(FindFirstFileW((wide + L"\\*").c_str(), &found));
    if (find) {
      do {
        std::string name = platform::AnsiFileName(found.cFileName, lstrlenW(found.cFileName));
        if (name != "." && name != "..") RemoveTree(path + "\\" + name);
      } while (FindNextFileW(find.get(), &found));
    }
  }
  RemoveDirectoryW(wide.c_str());
}

TempFolder::TempFolder() {
  static int counter = 0;
  path_ = "C:\\vortan4-tests\\" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(GetTickCount()) + "-" + std::to_string(++counter);
  RemoveTree(path_);
  MakeFolders(path_);
  path_ += "\\";
}

TempFolder::~TempFolder() { RemoveTree(path_.substr(0, path_.size() - 1)); }

void TempFolder::MakeFolder(const std::string& relative) const { MakeFolders(path_ + relative); }

void TempFolder::Write(const std::string& relative, const std::string& bytes) const {
  std::string full = path_ + relative;
  MakeFolders(FolderOf(full));
  platform::FileHandle file = OpenFile(full, GENERIC_WRITE, CREATE_ALWAYS);
  DWORD written = 0;
  if (!file || !WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                          nullptr))
    throw std::runtime_error("cannot write " + full);
}

std::string TempFolder::Read(const std::string& relative) const {
  std::string full = path_ + relative;
  platform::FileHandle file = OpenFile(full, GENERIC_READ, OPEN_EXISTING);
  if (!file) throw std::runtime_error("cannot read " + full);
  std::string bytes(GetFileSize(file.get(), nullptr), '\0');
  DWORD got = 0;
  ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  bytes.resize(got);
  return bytes;
}

}  // namespace testing_support
