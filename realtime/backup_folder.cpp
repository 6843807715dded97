#include "realtime/backup_folder.h"

#include <windows.h>

#include <cstring>

#include "platform/changes.h"
#include "platform/filebackups.h"
#include "platform/owners.h"

namespace realtime {
namespace {

// Kept for the program's life: a traced process keeps the same mapping open from one
// session to the next.
platform::Handle mapping;
platform::MappedView view;

void NameFolder(const std::string& folder) {
  if (!view) return;
  auto* text = static_cast<wchar_t*>(view.get());
  const int length = MultiByteToWideChar(CP_ACP, 0, folder.c_str(), -1, text,
                                         filebackups::kFolderMappingBytes / sizeof(wchar_t));
  if (length == 0) text[0] = L'\0';
}

}  // namespace

void StartFileBackups(const std::string& folder) {
  if (!mapping) {
    mapping.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                     filebackups::kFolderMappingBytes,
                                     filebackups::kFolderMappingName));
    if (mapping) view.reset(MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, 0));
  }
  platform::EmptyFolder(folder);
  platform::MakeFolder(folder);
  NameFolder(folder);
}

void StopFileBackups() { NameFolder(""); }

}  // namespace realtime
