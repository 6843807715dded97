#include "realtime/backup_folder.h"

#include <windows.h>

#include "platform/changes.h"
#include "platform/filebackups.h"

namespace realtime {

FileBackups::FileBackups(const std::string& folder) {
  mapping_.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                    filebackups::kFolderMappingBytes,
                                    filebackups::kFolderMappingName));
  if (mapping_) view_.reset(MapViewOfFile(mapping_.get(), FILE_MAP_WRITE, 0, 0, 0));
  platform::EmptyFolder(folder);
  platform::MakeFolder(folder);
  NameFolder(folder);
}

void FileBackups::Stop() { NameFolder(""); }

void FileBackups::NameFolder(const std::string& folder) {
  if (!view_) return;
  auto* text = static_cast<wchar_t*>(view_.get());
  const int length = MultiByteToWideChar(CP_ACP, 0, folder.c_str(), -1, text,
                                         filebackups::kFolderMappingBytes / sizeof(wchar_t));
  if (length == 0) text[0] = L'\0';
}

}  // namespace realtime
