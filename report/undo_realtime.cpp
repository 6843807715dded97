#include "report/undo_realtime.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engines/helpers.h"
#include "engines/registry.h"
#include "platform/changes.h"
#include "platform/filebackups.h"
#include "platform/textfile.h"

namespace report {
namespace {

using engines::UndoItem;
using engines::MakeUndoItem;
using engines::UndoKind;

enum FileSlot { kFilesAdded, kFilesDeleted, kFilesChanged, kDirsAdded, kDirsDeleted };

// The copy the capture took of the file before its first change; false when none is whole
// (its description is written last) or it describes another file.
bool CopyOf(const std::string& path, const std::string& copies, platform::FileCopy& copy) {
  const std::string stem = copies + "\\" + filebackups::StemOf(path);
  const std::string info = stem + filebackups::kInfoExtension;
  if (GetFileAttributesA(info.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  platform::BufferedReader lines(info);
  std::string line, named;
  auto number = [&line](const char* name, uint64_t& value) {
    const size_t length = strlen(name);
    if (line.compare(0, length, name) != 0 || line[length] != '=') return;
    value = std::strtoull(line.c_str() + length + 1, nullptr, 16);
  };
  uint64_t attributes = 0;
  while (lines.ReadLine(line)) {
    if (line.compare(0, 5, "path=") == 0) named = line.substr(5);
    number("attributes", attributes);
    number("size", copy.size);
    number("written", copy.written);
    number("created", copy.created);
    number("accessed", copy.accessed);
  }
  copy.attributes = static_cast<DWORD>(attributes);
  copy.copy = stem + filebackups::kCopyExtension;
  return lstrcmpiA(named.c_str(), path.c_str()) == 0 &&
         GetFileAttributesA(copy.copy.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Real-time tracking sees every drive; the undo touches files on the machine's drives only.
bool OnADrive(const std::string& path) {
  return path.size() > 3 && path[1] == ':' && path[2] == '\\';
}

void WatchDriveOf(engines::UndoData& data, const std::string& path) {
  std::string root = path.substr(0, 3);
  CharUpperBuffA(&root[0], 1);
  for (const std::string& folder : data.watchedFolders)
    if (folder == root) return;
  data.watchedFolders.push_back(root);
}

void StampNow(UndoItem& item) {
  bool isFolder = false;
  platform::EntryStamp(item.place, isFolder, item.size, item.writeTime);
}

engines::UndoValue FullValue(int32_t type, const std::string& data) {
  return {true, type, data};
}

}  // namespace

void AddRealTimeFileUndoItems(engines::UndoData& data, const WorkLists& lists,
                              const std::string& copies) {
  const UndoKind kinds[] = {UndoKind::FileAdded, UndoKind::FileDeleted, UndoKind::FileChanged,
                            UndoKind::FolderAdded, UndoKind::FolderDeleted};
  const size_t first = data.items.size();
  for (int slot : {kFilesAdded, kDirsAdded, kFilesDeleted, kFilesChanged, kDirsDeleted}) {
    for (const engines::ListEntry& entry : lists[slot]) {
      if (!OnADrive(entry.text)) continue;
      WatchDriveOf(data, entry.text);
      UndoItem item = MakeUndoItem(kinds[slot], entry.text);
      if (slot == kFilesAdded || slot == kFilesChanged) StampNow(item);
      const bool oldContents = slot == kFilesDeleted || slot == kFilesChanged;
      if (oldContents && !CopyOf(item.place, copies, item.copy)) item.copy = {};
      data.items.push_back(item);
    }
  }
  // In path order, as a comparison lists them: a folder before what is in it, so the undo,
  // which removes added entries last first, empties each folder before removing it.
  std::sort(data.items.begin() + first, data.items.end(), [](const UndoItem& a, const UndoItem& b) {
    return engines::LowerAscii(a.place) < engines::LowerAscii(b.place);
  });
}

void AddRealTimeRegistryUndoItems(engines::UndoData& data, const realtime::RegistryBefore& before) {
  for (const realtime::KeyBefore& key : before.keys) {
    std::string root, subkey;
    if (!engines::SplitRegistryPath(key.keyPath, root, subkey) || subkey.empty()) continue;
    const bool now = platform::KeyExists(platform::RegistryRoot(root), subkey);
    if (key.existed != now)
      data.items.push_back(
          MakeUndoItem(key.existed ? UndoKind::KeyDeleted : UndoKind::KeyAdded, key.keyPath));
  }
  for (const realtime::ValueBefore& value : before.values) {
    std::string root, subkey;
    if (!engines::SplitRegistryPath(value.keyPath, root, subkey)) continue;
    DWORD type = 0;
    std::string bytes;
    const bool now = platform::ReadValue(platform::RegistryRoot(root), subkey, value.valueName,
                                         type, bytes) == ERROR_SUCCESS;
    if (!value.existed && !now) continue;
    if (value.existed && now && value.whole && static_cast<DWORD>(value.type) == type &&
        value.data == bytes)
      continue;
    UndoItem item = MakeUndoItem(!value.existed ? UndoKind::ValueAdded
                         : now          ? UndoKind::ValueChanged
                                        : UndoKind::ValueDeleted,
                         value.keyPath, value.valueName);
    // Data the driver cut short cannot be put back: it stands as folded data.
    if (value.existed)
      item.before = value.whole ? FullValue(value.type, value.data)
                                : engines::UndoValue{false, value.type + engines::kFoldedType, ""};
    if (now) item.after = FullValue(static_cast<int32_t>(type), bytes);
    data.items.push_back(item);
  }
}

}  // namespace report
