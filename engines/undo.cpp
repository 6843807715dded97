#include "engines/undo.h"

#include <windows.h>

#include <algorithm>

#include "engines/helpers.h"
#include "engines/registry.h"
#include "platform/changes.h"
#include "platform/ioerror.h"

namespace engines {
namespace {

using K = UndoKind;

bool IsIniKind(UndoKind kind) { return kind >= K::IniKeyAdded; }
bool IsFileKind(UndoKind kind) { return kind <= K::FileNewer; }
bool IsRegistryKind(UndoKind kind) { return kind >= K::KeyAdded && kind <= K::ValueDeleted; }

struct KeyPlace {
  HKEY root = nullptr;
  std::string subkey;
};
KeyPlace KeyOf(const UndoItem& item) {
  std::string root, subkey;
  SplitRegistryPath(item.place, root, subkey);
  return {platform::RegistryRoot(root), subkey};
}

// The value now, in the form of the recorded value: missing answers false.
bool ValueNow(const UndoItem& item, const UndoValue& like, UndoValue& now) {
  const KeyPlace key = KeyOf(item);
  DWORD type = 0;
  std::string bytes;
  if (platform::ReadValue(key.root, key.subkey, item.name, type, bytes) != ERROR_SUCCESS)
    return false;
  now.full = like.full;
  if (like.full) {
    now.type = static_cast<int>(type);
    now.data = bytes;
  } else {
    now.data.clear();
    now.type = ListingDataText(type, bytes, now.data);
  }
  return true;
}

bool Same(const UndoValue& a, const UndoValue& b) { return a.type == b.type && a.data == b.data; }

UndoState RegistryState(const UndoItem& item) {
  const KeyPlace key = KeyOf(item);
  switch (item.kind) {
    case K::KeyAdded:
      return platform::KeyExists(key.root, key.subkey) ? UndoState::AsAfter
                                                       : UndoState::AlreadyUndone;
    case K::KeyDeleted:
      return platform::KeyExists(key.root, key.subkey) ? UndoState::AlreadyUndone
                                                       : UndoState::AsAfter;
    default:
      break;
  }
  UndoValue now;
  const bool present = ValueNow(item, item.kind == K::ValueDeleted ? item.before : item.after, now);
  if (item.kind == K::ValueDeleted) {
    if (!present) return UndoState::AsAfter;
    return Same(now, item.before) ? UndoState::AlreadyUndone : UndoState::ChangedSince;
  }
  if (!present) return item.kind == K::ValueAdded ? UndoState::AlreadyUndone : UndoState::ChangedSince;
  if (Same(now, item.after)) return UndoState::AsAfter;
  if (item.kind == K::ValueChanged && now.full == item.before.full && Same(now, item.before))
    return UndoState::AlreadyUndone;
  return UndoState::ChangedSince;
}

// A file put back from its copy: as after the install while it is gone (deleted) or has the
// size and time the install left (changed); as before once it has the copy's.
UndoState RestoredFileState(const UndoItem& item) {
  bool isFolder = false;
  uint64_t size = 0, writeTime = 0;
  if (!platform::EntryStamp(item.place, isFolder, size, writeTime))
    return item.kind == K::FileDeleted ? UndoState::AsAfter : UndoState::ChangedSince;
  if (isFolder) return UndoState::ChangedSince;
  if (size == item.copy.size && writeTime == item.copy.written) return UndoState::AlreadyUndone;
  if (item.kind != K::FileDeleted && size == item.size && writeTime == item.writeTime)
    return UndoState::AsAfter;
  return UndoState::ChangedSince;
}

UndoState FileState(const UndoItem& item) {
  if (item.kind == K::FileDeleted || item.kind == K::FileChanged || item.kind == K::IniFileCopy)
    return RestoredFileState(item);
  bool isFolder = false;
  uint64_t size = 0, writeTime = 0;
  const bool present = platform::EntryStamp(item.place, isFolder, size, writeTime);
  if (item.kind == K::FolderDeleted)
    return !present ? UndoState::AsAfter : isFolder ? UndoState::AlreadyUndone : UndoState::ChangedSince;
  if (!present) return UndoState::AlreadyUndone;
  if (item.kind == K::FolderAdded) return isFolder ? UndoState::AsAfter : UndoState::ChangedSince;
  if (item.kind == K::FileAdded)
    return !isFolder && size == item.size && writeTime == item.writeTime ? UndoState::AsAfter
                                                                         : UndoState::ChangedSince;
  return UndoState::AsAfter;
}

UndoAction ActionOf(const UndoItem& item) {
  switch (item.kind) {
    case K::FileAdded: case K::FolderAdded: case K::KeyAdded: case K::ValueAdded:
    case K::IniKeyAdded: case K::IniSectionAdded: case K::DeviceAdded:
      return UndoAction::Remove;
    case K::FileDeleted: case K::FileChanged:
      return item.copy.copy.empty() ? UndoAction::CannotRestore : UndoAction::Restore;
    case K::FileNewer:
      return UndoAction::CannotRestore;
    case K::ValueChanged: case K::ValueDeleted: {
      unsigned long type = 0;
      std::string bytes;
      return RegistryBytesOf(item.before, type, bytes) ? UndoAction::Restore
                                                       : UndoAction::CannotRestore;
    }
    default:
      return UndoAction::Restore;
  }
}

// The order of the work: INI files, then the registry (deleted keys made again before
// their values come back, added values before their keys go), then files: what was added
// goes, each added folder after everything that was made inside it; then deleted folders
// come back, and files from their copies.
int Phase(UndoKind kind) {
  switch (kind) {
    case K::IniFileCopy: case K::IniKeyChanged: case K::IniKeyDeleted: return 0;
    case K::IniKeyAdded: return 1;
    case K::IniSectionAdded: case K::IniSectionDeleted: return 2;
    case K::DeviceAdded: case K::DeviceDeleted: return 3;
    case K::KeyDeleted: return 4;
    case K::ValueChanged: case K::ValueDeleted: return 5;
    case K::ValueAdded: return 6;
    case K::KeyAdded: return 7;  // deepest first
    case K::FolderDeleted: return 9;
    case K::FileDeleted: case K::FileChanged: return 10;
    default: return 8;           // files, deepest first
  }
}
bool ReversedPhase(int phase) { return phase == 7 || phase == 8; }

UndoOutcome Outcome(LONG code) {
  if (code == ERROR_SUCCESS) return {};
  return {UndoOutcome::Failed, platform::SystemErrorText(static_cast<DWORD>(code))};
}

UndoOutcome UndoRegistryItem(const UndoItem& item) {
  const KeyPlace key = KeyOf(item);
  LONG code = ERROR_SUCCESS;
  switch (item.kind) {
    case K::KeyAdded:
      code = platform::DeleteEmptyKey(key.root, key.subkey);
      if (code == ERROR_DIR_NOT_EMPTY)
        return {UndoOutcome::Left, "it holds keys or values the install did not make"};
      break;
    case K::KeyDeleted:
      code = platform::MakeKey(key.root, key.subkey);
      break;
    case K::ValueAdded:
      code = platform::DeleteValue(key.root, key.subkey, item.name);
      // Gone already, with an INI entry that the system keeps there (win.ini's [windows]).
      if (code == ERROR_FILE_NOT_FOUND) code = ERROR_SUCCESS;
      break;
    default: {
      unsigned long type = 0;
      std::string bytes;
      RegistryBytesOf(item.before, type, bytes);
      // Binary data in the listing may stand for another type of the same bytes; a
      // changed value that still has such a type keeps it.
      DWORD typeNow = 0;
      std::string bytesNow;
      if (!item.before.full && type == REG_BINARY && item.kind == K::ValueChanged &&
          platform::ReadValue(key.root, key.subkey, item.name, typeNow, bytesNow) == ERROR_SUCCESS &&
          typeNow != REG_SZ && typeNow != REG_EXPAND_SZ && typeNow != REG_DWORD &&
          typeNow != REG_DWORD_BIG_ENDIAN)
        type = typeNow;
      code = platform::SetValue(key.root, key.subkey, item.name, type, bytes);
    }
  }
  return Outcome(code);
}

UndoOutcome UndoFileItem(const UndoItem& item) {
  if (item.kind == K::IniFileCopy) {
    platform::FlushProfile(item.place);
    return Outcome(platform::RestoreFile(item.copy, item.place));
  }
  if (item.kind == K::FolderDeleted) return Outcome(platform::MakeFolderPath(item.place));
  if (item.kind == K::FileDeleted || item.kind == K::FileChanged)
    return Outcome(platform::RestoreFile(item.copy, item.place));
  if (item.kind != K::FolderAdded) return Outcome(platform::RemoveFile(item.place));
  const LONG code = platform::RemoveFolder(item.place);
  if (code == ERROR_DIR_NOT_EMPTY) return {UndoOutcome::Left, "it holds files the install did not make"};
  return Outcome(code);
}

const char* WhyNot(const UndoItem& item) {
  switch (item.kind) {
    case K::FileDeleted: return "the report keeps no copy of a deleted file";
    case K::FileChanged: return "the report keeps no copy of a file's old contents";
    case K::FileNewer:
      return "added or changed: file-time comparison cannot tell which, nor keeps old contents";
    default: return "the report holds only a digest of the old data";
  }
}

// INI files still as the install left them, which their copies put back byte for byte
// (line order and all); the key by key undo of their other items is then not needed.
std::vector<std::string> IniFilesPutBackWhole(const UndoData& data) {
  std::vector<std::string> files;
  for (const UndoItem& item : data.items)
    if (item.kind == K::IniFileCopy && FileState(item) == UndoState::AsAfter)
      files.push_back(LowerAscii(item.place));
  return files;
}

}  // namespace

std::string DescribeUndoItem(const UndoItem& item) {
  switch (item.kind) {
    case K::FolderAdded: case K::FolderDeleted: return "folder " + item.place;
    case K::KeyAdded: case K::KeyDeleted: return "key " + item.place;
    case K::ValueAdded: case K::ValueChanged: case K::ValueDeleted:
      return "value " + item.place + " " + item.name;
    case K::IniFileCopy: return "INI file " + item.place;
    case K::IniSectionAdded: case K::IniSectionDeleted:
      return "section " + item.name + " of " + item.place;
    case K::DeviceAdded: case K::DeviceDeleted:
      return "line [386Enh]" + item.name + " of " + item.place;
    default:
      if (IsIniKind(item.kind)) return "key " + item.name + " of " + item.place;
      return "file " + item.place;
  }
}

UndoPlan PlanUndo(const UndoData& data) {
  UndoPlan plan;
  const std::vector<std::string> wholeInis = IniFilesPutBackWhole(data);
  std::vector<std::vector<UndoStep>> phases(11);
  for (const UndoItem& item : data.items) {
    // An INI file goes back either whole or key by key.
    const bool whole = IsIniKind(item.kind) && std::find(wholeInis.begin(), wholeInis.end(),
                                                         LowerAscii(item.place)) != wholeInis.end();
    if (IsIniKind(item.kind) && whole != (item.kind == K::IniFileCopy)) continue;
    UndoStep step;
    step.item = item;
    step.action = ActionOf(item);
    if (step.action != UndoAction::CannotRestore)
      step.state = item.kind == K::IniFileCopy ? UndoState::AsAfter
                   : IsIniKind(item.kind)      ? IniItemState(item)
                   : IsFileKind(item.kind)     ? FileState(item)
                                           : RegistryState(item);
    phases[Phase(item.kind)].push_back(step);
  }
  for (size_t phase = 0; phase < phases.size(); ++phase) {
    if (ReversedPhase(static_cast<int>(phase))) std::reverse(phases[phase].begin(), phases[phase].end());
    for (UndoStep& step : phases[phase]) {
      if (step.action == UndoAction::CannotRestore)
        ++plan.cannotRestore;
      else if (step.state == UndoState::ChangedSince)
        ++plan.changedSince;
      else if (step.state == UndoState::AsAfter)
        ++(step.action == UndoAction::Remove ? plan.toRemove : plan.toRestore);
      plan.steps.push_back(std::move(step));
    }
  }
  return plan;
}

UndoResult CarryOutUndo(const UndoPlan& plan, bool overwriteChanged, const UndoLog& log,
                        const UndoProgress& progress) {
  UndoResult result;
  for (size_t i = 0; i < plan.steps.size(); ++i) {
    if (progress) progress(i, plan.steps.size());
    const UndoStep& step = plan.steps[i];
    const std::string what = DescribeUndoItem(step.item);
    if (step.action == UndoAction::CannotRestore) {
      ++result.cannot;
      log("cannot restore: " + what + " (" + WhyNot(step.item) + ")");
      continue;
    }
    if (step.state == UndoState::AlreadyUndone) {
      ++result.already;
      log("already as before: " + what);
      continue;
    }
    if (step.state == UndoState::ChangedSince && !overwriteChanged) {
      ++result.left;
      log("left, changed since the report: " + what);
      continue;
    }
    const UndoOutcome outcome =
        IsIniKind(step.item.kind) && step.item.kind != K::IniFileCopy ? UndoIniItem(step.item)
        : IsRegistryKind(step.item.kind)                              ? UndoRegistryItem(step.item)
                                                                      : UndoFileItem(step.item);
    switch (outcome.kind) {
      case UndoOutcome::Done:
        ++result.done;
        log((step.action == UndoAction::Remove ? "removed: " : "restored: ") + what);
        break;
      case UndoOutcome::Left:
        ++result.left;
        log("left, " + outcome.why + ": " + what);
        break;
      case UndoOutcome::Failed:
        ++result.failed;
        log("failed (" + outcome.why + "): " + what);
        break;
    }
  }
  if (progress) progress(plan.steps.size(), plan.steps.size());
  return result;
}

}  // namespace engines
