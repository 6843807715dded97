#include "report/undo_record.h"

#include <windows.h>

#include "engines/ini.h"
#include "engines/regfile.h"
#include "engines/registry.h"
#include "platform/changes.h"
#include "platform/filebackups.h"
#include "platform/ioerror.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/system.h"
#include "platform/textfile.h"

namespace report {
namespace {

using engines::UndoItem;
using engines::MakeUndoItem;
using engines::UndoKind;

enum Ini { kKeysAdded, kKeysDeleted, kKeysChanged, kSectionsAdded, kSectionsDeleted };
enum Registry { kRegKeysAdded, kRegKeysDeleted, kValuesChanged, kValuesAdded, kValuesDeleted };
enum Disk { kAdded, kDeleted, kChanged };

struct IniKeyLine {
  std::string name;   // "[section]key"
  std::string value;  // what follows the key's "="
};
IniKeyLine SplitKeyLine(const std::string& line) {
  const size_t close = line.find(']');
  const size_t equals = line.find('=', close == std::string::npos ? 0 : close);
  if (equals == std::string::npos) return {line, ""};
  return {line.substr(0, equals), line.substr(equals + 1)};
}

// The copy of a file as it was before the install, with its attributes and times.
bool KeptCopyOf(const std::string& copyPath, platform::FileCopy& copy) {
  bool isFolder = false;
  const DWORD attributes = GetFileAttributesA(copyPath.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      !platform::EntryStamp(copyPath, isFolder, copy.size, copy.written) || isFolder)
    return false;
  copy.copy = copyPath;
  copy.attributes = attributes;
  copy.created = copy.accessed = copy.written;
  return true;
}

std::string SectionOf(const std::string& name) {
  const size_t close = name.find(']');
  return name.size() > 1 && close != std::string::npos ? name.substr(1, close - 1) : "";
}

bool IsDeviceEntry(const std::string& iniName, const std::string& entry) {
  if (!engines::HasDeviceLines(iniName) || lstrcmpiA(entry.substr(0, 8).c_str(), "[386Enh]") != 0)
    return false;
  std::string upper = entry;
  CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
  return upper.find("DEVICE=") != std::string::npos;
}

// The value's data as it is now, in full; false when it cannot be read.
bool ValueNow(const std::string& keyPath, const std::string& name, engines::UndoValue& value) {
  std::string root, subkey;
  if (!engines::SplitRegistryPath(keyPath, root, subkey)) return false;
  DWORD type = 0;
  if (platform::ReadValue(platform::RegistryRoot(root), subkey, name, type, value.data) !=
      ERROR_SUCCESS)
    return false;
  value.full = true;
  value.type = static_cast<int>(type);
  return true;
}

}  // namespace

void AddIniUndoItems(engines::UndoData& data, const std::string& iniName, const WorkLists& lists,
                     const std::string& bytesCopy) {
  const std::string file = engines::IniFullPath(iniName);
  data.watchedInis.push_back(file);
  bool changed = false;
  for (const auto& list : lists) changed = changed || !list.empty();
  UndoItem whole = MakeUndoItem(UndoKind::IniFileCopy, file);
  bool isFolder = false;  // the size and time the install left
  if (changed && KeptCopyOf(bytesCopy, whole.copy) &&
      platform::EntryStamp(file, isFolder, whole.size, whole.writeTime))
    data.items.push_back(whole);
  for (const auto& entry : lists[kSectionsDeleted])
    data.items.push_back(MakeUndoItem(UndoKind::IniSectionDeleted, file, entry.text));
  for (const auto& entry : lists[kSectionsAdded])
    data.items.push_back(MakeUndoItem(UndoKind::IniSectionAdded, file, entry.text));
  for (int list : {kKeysAdded, kKeysDeleted}) {
    const bool added = list == kKeysAdded;
    for (const auto& entry : lists[list]) {
      if (IsDeviceEntry(iniName, entry.text)) {
        data.items.push_back(MakeUndoItem(added ? UndoKind::DeviceAdded : UndoKind::DeviceDeleted,
                                          file, entry.text.substr(8)));
        continue;
      }
      const IniKeyLine line = SplitKeyLine(entry.text);
      UndoItem item =
          MakeUndoItem(added ? UndoKind::IniKeyAdded : UndoKind::IniKeyDeleted, file, line.name);
      (added ? item.after : item.before).data = line.value;
      data.items.push_back(item);
    }
  }
  for (const auto& entry : lists[kKeysChanged]) {
    // "[section]key=old=to=new": the new value is the one the file holds now, which tells
    // where the old one ends should either hold "=to=" itself.
    const IniKeyLine line = SplitKeyLine(entry.text);
    const size_t close = line.name.find(']');
    const std::string now = platform::ReadProfileString(file, SectionOf(line.name),
                                                        line.name.substr(close + 1));
    size_t cut = line.value.find("=to=");
    const std::string ending = "=to=" + now;
    if (line.value.size() >= ending.size() &&
        line.value.compare(line.value.size() - ending.size(), ending.size(), ending) == 0)
      cut = line.value.size() - ending.size();
    if (cut == std::string::npos) continue;
    UndoItem item = MakeUndoItem(UndoKind::IniKeyChanged, file, line.name);
    item.before.data = line.value.substr(0, cut);
    item.after.data = line.value.substr(cut + 4);
    data.items.push_back(item);
  }
}

void AddRegistryUndoItems(engines::UndoData& data, const WorkLists& lists) {
  for (const auto& entry : lists[kRegKeysDeleted])
    data.items.push_back(MakeUndoItem(UndoKind::KeyDeleted, entry.text));
  for (const auto& entry : lists[kRegKeysAdded])
    data.items.push_back(MakeUndoItem(UndoKind::KeyAdded, entry.text));
  const UndoKind kinds[] = {UndoKind::ValueChanged, UndoKind::ValueAdded, UndoKind::ValueDeleted};
  const int valueLists[] = {kValuesChanged, kValuesAdded, kValuesDeleted};
  for (int i = 0; i < 3; ++i) {
    for (const auto& entry : lists[valueLists[i]]) {
      const auto* value = std::get_if<engines::RegObject>(&entry.item);
      if (!value) continue;
      UndoItem item = MakeUndoItem(kinds[i], entry.text, value->valueName);
      if (kinds[i] == UndoKind::ValueDeleted) {
        item.before = {false, value->valueType, value->newData};
      } else {
        if (kinds[i] == UndoKind::ValueChanged) {
          const bool folded = value->oldData == "(data too large)" && value->newData == "(changed)";
          item.before = {false, value->valueType + (folded ? engines::kFoldedType : 0),
                         value->oldData};
        }
        // Gone again already: what the listing shows stands for the state after.
        if (!ValueNow(entry.text, value->valueName, item.after))
          item.after = {false, value->valueType, value->newData};
      }
      data.items.push_back(item);
    }
  }
}

void AddDiskUndoItems(engines::UndoData& data, const WorkLists& lists) {
  for (const auto& entry : lists[kAdded]) {
    UndoItem item = MakeUndoItem(UndoKind::FileAdded, entry.text);
    bool isFolder = false;
    if (platform::EntryStamp(entry.text, isFolder, item.size, item.writeTime) && isFolder)
      item.kind = UndoKind::FolderAdded;
    data.items.push_back(item);
  }
  for (const auto& entry : lists[kDeleted])
    data.items.push_back(MakeUndoItem(UndoKind::FileDeleted, entry.text));
  // A changed folder is one whose time changed, which the changes inside it explain.
  for (const auto& entry : lists[kChanged])
    if (!platform::FolderExists(entry.text))
      data.items.push_back(MakeUndoItem(UndoKind::FileChanged, entry.text));
}

void AddFileTimeUndoItems(engines::UndoData& data, const WorkLists& lists) {
  for (const auto& entry : lists[0])
    data.items.push_back(MakeUndoItem(UndoKind::FileNewer, entry.text));
}

void WriteUndoFiles(engines::UndoData data) {
  const engines::UndoPlaces places = engines::UndoPlacesOf(data.report);
  if (LONG code = platform::MakeFolder(places.folder); code != ERROR_SUCCESS)
    throw platform::IoError("Create folder", places.folder, static_cast<DWORD>(code));
  // The copies of old files go with the data; one that cannot be moved is no copy.
  for (UndoItem& item : data.items) {
    if (item.copy.copy.empty()) continue;
    // Copies are named by a hash of their file's path, as the undo data expects.
    const std::string kept =
        places.folder + "\\" + filebackups::StemOf(item.place) + filebackups::kCopyExtension;
    if (!MoveFileExA(item.copy.copy.c_str(), kept.c_str(),
                     MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING))
      item.copy = {};
    else
      item.copy.copy = kept;
  }
  engines::WriteUndoData(places.folder, data);
  engines::WriteRegEditFiles(data, places.undoReg, places.redoReg);
}

void DeleteUndoFiles(const std::string& reportName) {
  const engines::UndoPlaces places = engines::UndoPlacesOf(reportName);
  platform::EmptyFolder(places.folder);
  platform::RemoveFolder(places.folder);
  platform::DeleteFileIfPresent(places.undoReg);
  platform::DeleteFileIfPresent(places.redoReg);
}

}  // namespace report
