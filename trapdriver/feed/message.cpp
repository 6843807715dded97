#include "trapdriver/feed/message.h"

#include <cstdint>
#include <cstring>

namespace trapfeed {
namespace {

enum Flag : uint8_t { kCreated = 1, kHasNewData = 2, kHasOldData = 4 };

#pragma pack(push, 1)
struct Fixed {
  uint32_t kind, operation, subCode, processId, status, valueType, oldValueType;
  uint64_t sizeBefore, writeTimeBefore;
  uint32_t newWholeSize, oldWholeSize;
  uint8_t flags;
  uint32_t lengths[6];  // path, new path, key path, value name, new data, old data
};
#pragma pack(pop)

bool Plain(const std::string& text, size_t limit) {
  return text.size() <= limit && text.find('\0') == std::string::npos;
}

// A whole size, when given, is of more than was sent.
bool Whole(const std::string& data, uint32_t wholeSize) {
  return wholeSize == 0 || wholeSize > data.size();
}

}  // namespace

std::string Encode(const Message& message) {
  const std::string* strings[6] = {&message.path,      &message.newPath, &message.keyPath,
                                   &message.valueName, &message.newData, &message.oldData};
  Fixed fixed{static_cast<uint32_t>(message.kind),
              message.operation,
              message.subCode,
              message.processId,
              message.status,
              message.valueType,
              message.oldValueType,
              message.sizeBefore,
              message.writeTimeBefore,
              message.newWholeSize,
              message.oldWholeSize,
              static_cast<uint8_t>((message.created ? kCreated : 0) |
                                   (message.hasNewData ? kHasNewData : 0) |
                                   (message.hasOldData ? kHasOldData : 0)),
              {}};
  size_t total = sizeof fixed;
  for (int i = 0; i < 6; ++i) {
    fixed.lengths[i] = static_cast<uint32_t>(strings[i]->size());
    total += strings[i]->size();
  }
  std::string bytes;
  bytes.reserve(total);
  bytes.append(reinterpret_cast<const char*>(&fixed), sizeof fixed);
  for (const std::string* text : strings) bytes += *text;
  return bytes;
}

bool Decode(const char* bytes, size_t size, Message& message) {
  Fixed fixed;
  if (size < sizeof fixed) return false;
  std::memcpy(&fixed, bytes, sizeof fixed);
  uint64_t total = sizeof fixed;
  for (uint32_t length : fixed.lengths) total += length;
  if (total != size || (fixed.flags & ~(kCreated | kHasNewData | kHasOldData)) != 0) return false;

  std::string* strings[6] = {&message.path,      &message.newPath, &message.keyPath,
                             &message.valueName, &message.newData, &message.oldData};
  const char* next = bytes + sizeof fixed;
  for (int i = 0; i < 6; ++i) {
    strings[i]->assign(next, fixed.lengths[i]);
    next += fixed.lengths[i];
  }
  message.kind = static_cast<Kind>(fixed.kind);
  message.operation = fixed.operation;
  message.subCode = fixed.subCode;
  message.processId = fixed.processId;
  message.status = fixed.status;
  message.valueType = fixed.valueType;
  message.oldValueType = fixed.oldValueType;
  message.sizeBefore = fixed.sizeBefore;
  message.writeTimeBefore = fixed.writeTimeBefore;
  message.newWholeSize = fixed.newWholeSize;
  message.oldWholeSize = fixed.oldWholeSize;
  message.created = fixed.flags & kCreated;
  message.hasNewData = fixed.flags & kHasNewData;
  message.hasOldData = fixed.flags & kHasOldData;

  if (message.kind == Kind::File)
    return Plain(message.path, kMaxPathBytes) && Plain(message.newPath, kMaxPathBytes) &&
           message.keyPath.empty() && message.valueName.empty() && message.newData.empty() &&
           message.oldData.empty() && !message.hasNewData && !message.hasOldData &&
           message.newWholeSize == 0 && message.oldWholeSize == 0 && message.oldValueType == 0;
  if (message.kind == Kind::Registry)
    return !message.keyPath.empty() && Plain(message.keyPath, kMaxKeyPathBytes) &&
           Plain(message.valueName, kMaxValueNameBytes) && message.path.empty() &&
           message.newPath.empty() && !message.created &&
           (message.hasNewData || message.newData.empty()) &&
           (message.hasOldData || message.oldData.empty()) &&
           Whole(message.newData, message.newWholeSize) &&
           Whole(message.oldData, message.oldWholeSize);
  return false;
}

}  // namespace trapfeed
