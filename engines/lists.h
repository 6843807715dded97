#pragma once
// The lists that engines fill and the report prints: texts, each of which may carry one
// attached item (a registry record, a file record or a process id).
#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace engines {

// Called by every engine with the item it works on; the main window shows it.
using ProgressCallback = std::function<void(const std::string&)>;

// One registry value change (or key change in real-time tracking), attached to an entry
// whose text is the key path.
struct RegObject {
  int32_t valueType = 0;   // a registry type; compares add 16 for folded data
  uint32_t processId = 0;  // driver process id, 0 when none is known
  std::string valueName;   // as written: "@" the default value (platform/valuenames.h)
  std::string newData;
  std::string oldData;
};

// Size and last-write time of a file as it was when an install first opened it.
struct FilOpeObject {
  uint32_t sizeHigh = 0;
  uint32_t sizeLow = 0;
  uint32_t writeTimeHigh = 0;
  uint32_t writeTimeLow = 0;
  uint32_t processId = 0;
};

using ProcessId = uint32_t;
using AttachedItem = std::variant<std::monostate, RegObject, FilOpeObject, ProcessId>;

struct ListEntry {
  std::string text;
  AttachedItem item;
};
using ResultList = std::vector<ListEntry>;

}  // namespace engines
