#include "support/temp_folder.h"

#include <windows.h>

#include <stdexcept>

#include "platform/owners.h"

namespace testing_support {
namespace {

void MakeFolders(const std::string& path) {
  for (size_t slash = path.find('\\', 3); slash != std::string::npos;
       slash = path.find('\\', slash + 1))
    CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
  CreateDirectoryA(path.c_str(), nullptr);
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

}  // namespace

void RemoveTree(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileA(path.c_str());
    return;
  }
  WIN32_FIND_DATAA found;
  {
    platform::FindHandle find(FindFirstFileA((path + "\\*").c_str(), &found));
    if (find) {
      do {
        std::string name = found.cFileName;
        if (name != "." && name != "..") RemoveTree(path + "\\" + name);
      } while (FindNextFileA(find.get(), &found));
    }
  }
  RemoveDirectoryA(path.c_str());
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
  platform::FileHandle file(CreateFileA(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file || !WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                          nullptr))
    throw std::runtime_error("cannot write " + full);
}

std::string TempFolder::Read(const std::string& relative) const {
  std::string full = path_ + relative;
  platform::FileHandle file(CreateFileA(full.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw std::runtime_error("cannot read " + full);
  std::string bytes(GetFileSize(file.get(), nullptr), '\0');
  DWORD got = 0;
  ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  bytes.resize(got);
  return bytes;
}

}  // namespace testing_support
