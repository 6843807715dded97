#pragma once
// The operation records the trap driver delivers, and the ten change lists they are
// decoded into. A record lies in the driver's memory and is read in place, only until it
// is given back. The decoder folds what cancels out (a file created and deleted again
// leaves nothing) and drops registry writes that changed nothing; it filters nothing else.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engines/lists.h"
#include "platform/trapabi.h"

namespace realtime {

// The records' layouts, kinds and operation codes (platform/trapabi.h).
using namespace trapabi;

// The list indexes of TakeTrackedList.
enum TrackedListIndex : unsigned {
  rlFilesChanged = 0, rlFilesAdded, rlFilesDeleted, rlDirsAdded, rlDirsDeleted, rlKeysAdded,
  rlKeysDeleted, rlValuesAdded, rlValuesChanged, rlValuesDeleted, rlProcesses
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
// Empties and answers what the records told so far. Only once tracking has stopped.
RegistryBefore TakeRegistryBefore();

// The lock that serialises the decoder with process registration. It lives as long as
// the program, so a registration racing with the end of tracking finds it still there.
std::mutex& RecordLock();

// Decodes one record into the lists; reads it and nothing after. Takes the lock.
void DecodeTrapRecord(const void* record);
// Empties the ten change lists and the process list.
void ClearTrackedLists();
// For 0 to 9: the list, the caller's from now on, grouped as RecordList::TakeGrouped
// says; the internal list is left empty. Any other index: nothing. Only once tracking
// has stopped. The process list is ProcessList() (processes.h).
std::optional<engines::ResultList> TakeTrackedList(unsigned index);

}  // namespace realtime
