#pragma once
// The operation records the trap driver delivers, and the ten change lists they are
// decoded into. A record lies in the driver's memory and is read in place, only until it
// is given back. The decoder folds what cancels out (a file created and deleted again
// leaves nothing) and drops registry writes that changed nothing; it filters nothing else.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "engines/lists.h"
#include "realtime/processes.h"

namespace realtime {

// The indexes of the change lists in TrackingResults.
enum TrackedListIndex : unsigned {
  rlFilesChanged = 0, rlFilesAdded, rlFilesDeleted, rlDirsAdded, rlDirsDeleted, rlKeysAdded,
  rlKeysDeleted, rlValuesAdded, rlValuesChanged, rlValuesDeleted
};
constexpr unsigned kChangeListCount = 10;

// A list in order of arrival whose texts are compared without case (the user's ANSI
// code page), each entry spelled as it first arrived. An index beside it makes the
// tests and removals constant-time; removed entries stay as gaps until the hand-over.
class RecordList {
 public:
  bool Contains(const std::string& text) const;
  void Append(const std::string& text, engines::AttachedItem item);
  void RemoveFirst(const std::string& text);  // the first equal entry, if any
  void Clear();
  size_t size() const { return live_; }
  // Empties the list into a new one: entries with the same process id gathered in the
  // order of their first entry; entries carrying objects keep their order.
  engines::ResultList TakeGrouped();

 private:
  std::vector<engines::ListEntry> entries_;
  std::vector<bool> removed_;
  std::unordered_map<std::string, std::vector<size_t>> index_;  // positions, oldest first
  std::unordered_map<std::string, size_t> firstLive_;           // how many of them are gone
  size_t live_ = 0;
};

// The key under which texts compare equal: the text in upper case.
std::string CaselessKey(const std::string& text);

// The text form of registry data in a report: strings up to their first NUL with control
// characters as ".", lists of strings whole (each separator a "."), DWORDs in decimal
// (big-endian for type 5), everything else as hex.
std::string RegistryDataText(const void* data, uint32_t size, int32_t type);

// What a registry value or key was before its first change of the session, for the undo:
// its first record tells (a value added did not exist; a value changed or deleted brings
// its old data; a key made did not exist, one deleted did).
struct ValueBefore {
  std::string keyPath, valueName;  // as first spelled; valueName as written (platform/valuenames.h)
  bool existed = false;
  int32_t type = 0;
  std::string data;   // every byte, when it existed
  bool whole = true;  // false: the driver cut the data short, or sent none
};
struct KeyBefore {
  std::string keyPath;
  bool existed = false;
};
struct RegistryBefore {
  std::vector<ValueBefore> values;  // in order of their first change
  std::vector<KeyBefore> keys;
};
// What one tracking run found, handed over when it stops: the change lists, each grouped
// as RecordList::TakeGrouped says; what the registry held before; the processes, names in
// order of first sight, each with its driver process id; what the driver could not see of
// them; and why tracking did not run ("" when it ran).
struct TrackingResults {
  std::array<engines::ResultList, kChangeListCount> lists;
  RegistryBefore registryBefore;
  engines::ResultList processes;
  std::vector<ProcessNote> notes;
  std::string failure;
};

// The decoded records of one tracking run. The driver's thread decodes while the
// launcher's registers processes, so every call takes the recorder's lock.
class ChangeRecorder {
 public:
  // nameOf gives the name of a running process by driver id (LookUpProcessName).
  using ProcessNamer = std::function<std::string(uint32_t driverProcessId)>;
  explicit ChangeRecorder(ProcessNamer nameOf = DefaultNamer());

  // Decodes one record into the lists; reads it and nothing after.
  void Decode(const void* record);
  // Adds the process unless its id is known, named as nameOf says.
  void RegisterProcess(uint32_t driverProcessId);
  // Names the processes whose name could not be looked up when their first record came
  // (they had ended): ask gives the name by driver process id, or "".
  void NameUnnamedProcesses(const std::function<std::string(uint32_t)>& ask);
  // Empties the recorder into the results (notes and failure left to the caller).
  TrackingResults Take();

 private:
  static ProcessNamer DefaultNamer();
  void RegisterLocked(uint32_t driverProcessId);
  void DecodeFile(const void* record);
  void DecodeRegistry(const void* record);
  void AddFile(const std::string& path, uint32_t process);
  void RenameFolder(const std::string& from, const std::string& to, uint32_t process);
  void NoteBefore(const void* record, const char* key, const char* subkey, const char* valueName);

  std::mutex lock_;
  ProcessNamer nameOf_;
  // What the records told so far: the change lists,
  std::array<RecordList, kChangeListCount> lists;
  // the first record's word on each value and key, and the names seen.
  RegistryBefore registryBefore;
  std::unordered_map<std::string, bool> beforeSeen;
  engines::ResultList processes_;
  std::unordered_map<uint32_t, bool> knownIds_;
};

}  // namespace realtime
