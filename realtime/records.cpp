#include "realtime/records.h"

#include <windows.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/trapabi.h"
#include "platform/valuenames.h"

namespace realtime {

using namespace trapabi;

namespace {

template <class T>
T Field(const void* record, size_t offset) {
  T value;
  std::memcpy(&value, static_cast<const char*>(record) + offset, sizeof value);
  return value;
}

const char* Pointer(const void* record, size_t offset) {
  return reinterpret_cast<const char*>(static_cast<uintptr_t>(Field<uint32_t>(record, offset)));
}

bool HasExtension(const void* record) {
  return Field<uint32_t>(record, file_record::kTag) == file_record::kExtensionTag;
}

// A path: the whole one where the driver hands it over beside the record (the field holds
// 260 bytes, NT paths run to 32,767 characters); otherwise the field up to its NUL, or all
// of it when none comes.
std::string PathField(const void* record, size_t offset, size_t whole, size_t wholeLength) {
  if (HasExtension(record)) {
    if (const char* path = Pointer(record, whole))
      return std::string(path, Field<uint32_t>(record, wholeLength));
  }
  const char* path = static_cast<const char*>(record) + offset;
  return std::string(path, strnlen(path, file_record::kPathSize));
}

bool RenamesFolder(const void* record) {
  return HasExtension(record) && (Field<uint8_t>(record, file_record::kFlags) & ffFolder) != 0;
}

}  // namespace

// A new file under a name that stood before and was deleted during tracking replaces
// that file: a change, not an addition. Its earlier size and time are gone with it, so
// the entry holds a size no file has and the change is always kept.
void ChangeRecorder::AddFile(const std::string& path, uint32_t process) {
  RecordList& deleted = lists[rlFilesDeleted];
  RecordList& changed = lists[rlFilesChanged];
  if (deleted.Contains(path)) {
    deleted.RemoveFirst(path);
    if (!changed.Contains(path))
      changed.Append(path, engines::FilOpeObject{0xFFFFFFFF, 0xFFFFFFFF, 0, 0, process});
  } else if (!lists[rlFilesAdded].Contains(path)) {
    lists[rlFilesAdded].Append(path, process);
  }
}

// A folder renamed is gone under its old name and there under its new one, as a comparison
// of before and after shows it (the driver sends each entry inside as a rename of its own).
// Unlike a folder removed, one made during tracking and renamed leaves only its new name,
// and a name that stood before and stands again is no change.
void ChangeRecorder::RenameFolder(const std::string& from, const std::string& to,
                                  uint32_t process) {
  RecordList& added = lists[rlDirsAdded];
  RecordList& deleted = lists[rlDirsDeleted];
  if (added.Contains(from))
    added.RemoveFirst(from);
  else if (!deleted.Contains(from))
    deleted.Append(from, process);
  if (deleted.Contains(to))
    deleted.RemoveFirst(to);
  else if (!added.Contains(to))
    added.Append(to, process);
}

void ChangeRecorder::DecodeFile(const void* record) {
  using namespace file_record;
  if (Field<uint16_t>(record, kStatus) != 0) return;
  const uint32_t process = Field<uint32_t>(record, kProcessId);
  RegisterLocked(process);
  const std::string path = PathField(record, kPath, kWholePath, kWholePathLength);
  RecordList& changed = lists[rlFilesChanged];
  RecordList& added = lists[rlFilesAdded];
  RecordList& deleted = lists[rlFilesDeleted];
  switch (Field<uint32_t>(record, kOperation)) {
    case foDelete:
      // A file that stood before is gone, even when it was written first; one made during
      // tracking leaves nothing.
      if (!deleted.Contains(path) && !added.Contains(path)) deleted.Append(path, process);
      added.RemoveFirst(path);
      changed.RemoveFirst(path);
      break;
    case foDirectory:
      if (Field<uint8_t>(record, kSubCode) == 0) {
        if (!lists[rlDirsAdded].Contains(path)) lists[rlDirsAdded].Append(path, process);
      } else if (lists[rlDirsAdded].Contains(path)) {
        // Made during tracking and removed again, like an installer's unpacking folder:
        // nothing changed, as with a file.
        lists[rlDirsAdded].RemoveFirst(path);
      } else if (!lists[rlDirsDeleted].Contains(path)) {
        lists[rlDirsDeleted].Append(path, process);
      }
      break;
    case foOpen:
      if (Field<uint8_t>(record, kCreated) != 0) {
        AddFile(path, process);
      } else if (!changed.Contains(path) && !added.Contains(path)) {
        changed.Append(path, engines::FilOpeObject{
                                 Field<uint32_t>(record, kSizeHigh), Field<uint32_t>(record, kSizeLow),
                                 Field<uint32_t>(record, kWriteTimeHigh),
                                 Field<uint32_t>(record, kWriteTimeLow), process});
      }
      break;
    case foRename: {
      const std::string newPath = PathField(record, kNewPath, kWholeNewPath, kWholeNewPathLength);
      if (RenamesFolder(record)) {
        RenameFolder(path, newPath, process);
        break;
      }
      // A file made during tracking and renamed leaves only its new name behind.
      if (!deleted.Contains(path) && !added.Contains(path)) deleted.Append(path, process);
      added.RemoveFirst(path);
      changed.RemoveFirst(path);
      AddFile(newPath, process);
      break;
    }
    default:
      break;
  }
}

namespace {

bool IsStringType(int32_t type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Data that the driver had to cut short says so, with its whole size.
std::string DataText(const char* data, uint32_t size, uint32_t wholeSize, int32_t type) {
  std::string text = RegistryDataText(data, size, type);
  if (data && wholeSize > size) text += " (shortened, " + std::to_string(wholeSize) + " bytes)";
  return text;
}

}  // namespace

void ChangeRecorder::NoteBefore(const void* record, const char* key, const char* subkey,
                                const char* valueName) {
  using namespace registry_record;
  const uint32_t operation = Field<uint32_t>(record, kOperation);
  const std::string keyPath = std::string(key) + "\\" + (subkey ? subkey : "");
  if (operation == roKeyCreated || operation == roKeyDeleted) {
    if (beforeSeen.emplace(CaselessKey(keyPath), true).second)
      registryBefore.keys.push_back({keyPath, operation == roKeyDeleted});
    return;
  }
  const std::string name = platform::WrittenValueName(valueName ? valueName : "");
  // A tab cannot be in a key name, so key and value name cannot run together.
  if (!beforeSeen.emplace(CaselessKey(keyPath + "\t" + name), true).second) return;
  ValueBefore before;
  before.keyPath = keyPath;
  before.valueName = name;
  before.existed = operation != roValueAdded;
  if (before.existed) {
    const char* old = Pointer(record, kOldData);
    const uint8_t oldTypePlusOne = Field<uint8_t>(record, kOldTypePlusOne);
    before.type = oldTypePlusOne ? oldTypePlusOne - 1 : Field<int32_t>(record, kValueType);
    if (old) before.data.assign(old, Field<uint32_t>(record, kOldSize));
    before.whole = old && Field<uint32_t>(record, kOldWholeSize) == 0;
  }
  registryBefore.values.push_back(std::move(before));
}

void ChangeRecorder::DecodeRegistry(const void* record) {
  using namespace registry_record;
  const uint32_t process = Field<uint32_t>(record, kProcessId);
  RegisterLocked(process);
  const uint32_t operation = Field<uint32_t>(record, kOperation);
  const char* key = Pointer(record, kKey);
  const char* subkey = Pointer(record, kSubkey);
  if (!key || (!subkey && (operation == roKeyCreated || operation == roKeyDeleted))) return;
  if (operation > roValueDeleted) return;

  const int32_t type = Field<int32_t>(record, kValueType);
  const char* newData = Pointer(record, kNewData);
  const char* oldData = Pointer(record, kOldData);
  const uint32_t newSize = Field<uint32_t>(record, kNewSize);
  const uint32_t oldSize = Field<uint32_t>(record, kOldSize);
  const uint32_t newWholeSize = Field<uint32_t>(record, kNewWholeSize);
  const uint32_t oldWholeSize = Field<uint32_t>(record, kOldWholeSize);
  const bool writesValue = operation == roValueAdded || operation == roValueChanged;
  const std::string newText = writesValue ? DataText(newData, newSize, newWholeSize, type) : "";
  const std::string oldText = oldData ? DataText(oldData, oldSize, oldWholeSize, type) : "";
  if (writesValue) {
    if (!newData && !oldData) return;
    if (newData && oldData && newSize == oldSize && newWholeSize == oldWholeSize &&
        std::memcmp(newData, oldData, newSize) == 0)
      return;
    // The same text is no change; an empty string added is one.
    if (oldData && IsStringType(type) && newText == oldText) return;
  }
  const char* valueName = Pointer(record, kValueName);
  NoteBefore(record, key, subkey, valueName);
  engines::RegObject change;
  change.valueType = type;
  change.processId = process;
  change.valueName = platform::WrittenValueName(valueName ? valueName : "");
  change.newData = newText;
  change.oldData = oldText;
  static const TrackedListIndex kListOf[] = {rlKeysAdded, rlKeysDeleted, rlValuesAdded,
                                             rlValuesChanged, rlValuesDeleted};
  lists[kListOf[operation]].Append(std::string(key) + "\\" + (subkey ? subkey : ""),
                                   std::move(change));
}

std::string CaselessKey(const std::string& text) {
  std::string key = text;
  bool ascii = true;
  for (char& c : key) {
    if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
    else if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (!ascii && !key.empty()) CharUpperBuffA(&key[0], static_cast<DWORD>(key.size()));
  return key;
}

bool RecordList::Contains(const std::string& text) const {
  auto found = index_.find(CaselessKey(text));
  return found != index_.end() && firstLive_.at(found->first) < found->second.size();
}

void RecordList::Append(const std::string& text, engines::AttachedItem item) {
  const std::string key = CaselessKey(text);
  index_[key].push_back(entries_.size());
  firstLive_.emplace(key, 0);
  entries_.push_back({text, std::move(item)});
  removed_.push_back(false);
  ++live_;
}

void RecordList::RemoveFirst(const std::string& text) {
  auto found = index_.find(CaselessKey(text));
  if (found == index_.end()) return;
  size_t& first = firstLive_[found->first];
  if (first == found->second.size()) return;
  const size_t position = found->second[first++];
  removed_[position] = true;
  entries_[position].item = std::monostate{};
  --live_;
}

void RecordList::Clear() {
  entries_.clear();
  removed_.clear();
  index_.clear();
  firstLive_.clear();
  live_ = 0;
}

engines::ResultList RecordList::TakeGrouped() {
  std::vector<std::vector<size_t>> groups;
  std::unordered_map<engines::ProcessId, size_t> groupOf;
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (removed_[i]) continue;
    const auto* process = std::get_if<engines::ProcessId>(&entries_[i].item);
    if (!process) {
      groups.push_back({i});
      continue;
    }
    auto found = groupOf.find(*process);
    if (found == groupOf.end()) {
      groupOf.emplace(*process, groups.size());
      groups.push_back({i});
    } else {
      groups[found->second].push_back(i);
    }
  }
  engines::ResultList taken;
  taken.reserve(live_);
  for (const auto& group : groups)
    for (size_t i : group) taken.push_back(std::move(entries_[i]));
  Clear();
  return taken;
}

std::string RegistryDataText(const void* data, uint32_t size, int32_t type) {
  if (!data) return "";
  const auto* bytes = static_cast<const unsigned char*>(data);
  if (IsStringType(type)) {
    // A list of strings is shown whole, its separators as "." like any character below 32:
    // cut at its first NUL, a change after the first string would read as no change at all.
    // The NULs that end the list are not shown.
    uint32_t end = size;
    if (type == REG_MULTI_SZ) {
      while (end > 0 && bytes[end - 1] == 0) --end;
    }
    std::string text;
    for (uint32_t i = 0; i < end && (bytes[i] != 0 || type == REG_MULTI_SZ); ++i)
      text += bytes[i] < 32 ? '.' : static_cast<char>(bytes[i]);
    return text;
  }
  if (type == REG_DWORD || type == REG_DWORD_BIG_ENDIAN) {
    unsigned char four[4] = {};
    std::memcpy(four, bytes, size < 4 ? size : 4);
    uint32_t value = type == REG_DWORD
                         ? four[0] | four[1] << 8 | four[2] << 16 | uint32_t(four[3]) << 24
                         : four[3] | four[2] << 8 | four[1] << 16 | uint32_t(four[0]) << 24;
    return std::to_string(value);
  }
  std::string text;
  char hex[4];
  uint32_t i = 0;
  for (; i + 16 <= size; i += 16) {
    for (uint32_t j = 0; j < 16; ++j) {
      std::snprintf(hex, sizeof hex, j < 15 ? "%.2X," : "%.2X ", bytes[i + j]);
      text += hex;
    }
  }
  for (; i < size; ++i) {
    std::snprintf(hex, sizeof hex, "%.2X", bytes[i]);
    text += hex;
  }
  return text;
}

ChangeRecorder::ChangeRecorder(ProcessNamer nameOf) : nameOf_(std::move(nameOf)) {}

ChangeRecorder::ProcessNamer ChangeRecorder::DefaultNamer() {
  return [](uint32_t driverProcessId) { return LookUpProcessName(driverProcessId, 0); };
}

void ChangeRecorder::Decode(const void* record) {
  std::lock_guard<std::mutex> hold(lock_);
  switch (Field<uint32_t>(record, file_record::kKind)) {  // both layouts start so
    case kFileRecord: DecodeFile(record); break;
    case kRegistryRecord: DecodeRegistry(record); break;
    default: break;
  }
}

void ChangeRecorder::RegisterProcess(uint32_t driverProcessId) {
  std::lock_guard<std::mutex> hold(lock_);
  RegisterLocked(driverProcessId);
}

void ChangeRecorder::RegisterLocked(uint32_t driverProcessId) {
  if (!knownIds_.emplace(driverProcessId, true).second) return;
  processes_.push_back({nameOf_(driverProcessId), engines::ProcessId{driverProcessId}});
}

void ChangeRecorder::NameUnnamedProcesses(const std::function<std::string(uint32_t)>& ask) {
  std::lock_guard<std::mutex> hold(lock_);
  for (engines::ListEntry& entry : processes_) {
    const auto* id = std::get_if<engines::ProcessId>(&entry.item);
    if (entry.text != kUnknownProcessName || !id) continue;
    const std::string name = ask(*id);
    if (!name.empty()) entry.text = name;
  }
}

TrackingResults ChangeRecorder::Take() {
  std::lock_guard<std::mutex> hold(lock_);
  TrackingResults results;
  for (unsigned i = 0; i < kChangeListCount; ++i) results.lists[i] = lists[i].TakeGrouped();
  results.registryBefore = std::exchange(registryBefore, {});
  beforeSeen.clear();
  results.processes = std::exchange(processes_, {});
  knownIds_.clear();
  return results;
}

}  // namespace realtime
