#include "trapdriver/driver/record_store.h"

#include <cstring>
#include <string>

namespace trapdriver {
namespace {

using namespace trapabi;

template <class T>
void Put(uint8_t* record, size_t offset, T value) {
  std::memcpy(record + offset, &value, sizeof value);
}

void PutPath(uint8_t* record, size_t offset, const std::string& path) {
  // A path of exactly the field's size fills it without a NUL, as allowed.
  constexpr size_t kField = file_record::kPathSize;
  std::memcpy(record + offset, path.data(), path.size() < kField ? path.size() : kField);
}

// The record has two bytes of status: a failure whose low half is 0 must still show.
uint16_t Status(uint32_t status) {
  if (status == 0) return 0;
  return (status & 0xFFFF) != 0 ? static_cast<uint16_t>(status) : 0xFFFF;
}

}  // namespace

uint32_t RecordStore::NewBuffer(const void* bytes, size_t size, uint8_t*& address) {
  do ++nextReference_;
  while (nextReference_ == 0 || buffers_.count(nextReference_));
  // A block of no bytes still has an address: present and empty is not absent.
  Block& block = buffers_[nextReference_];
  block.size = size ? size : 1;
  block.bytes.reset(new uint8_t[block.size]());
  bytes_ += block.size;
  address = block.bytes.get();
  std::memcpy(address, bytes, size);
  return nextReference_;
}

uint8_t* RecordStore::Make(const trapfeed::Message& message, uint32_t processId) {
  return message.kind == trapfeed::Kind::File ? MakeFile(message, processId)
                                              : MakeRegistry(message, processId);
}

uint8_t* RecordStore::MakeFile(const trapfeed::Message& message, uint32_t processId) {
  using namespace file_record;
  // A path too long for its field follows the record in the same block, so it lives and
  // goes with the record.
  const bool longPath = message.path.size() > kPathSize,
             longNewPath = message.newPath.size() > kPathSize;
  const size_t size = kFileRecordBytes + (longPath ? message.path.size() : 0) +
                      (longNewPath ? message.newPath.size() : 0);
  Block block{std::unique_ptr<uint8_t[]>(new uint8_t[size]()), size};
  uint8_t* record = block.bytes.get();
  uint8_t* tail = record + kFileRecordBytes;
  auto putWhole = [&](const std::string& path, size_t address, size_t length) {
    Put<uint32_t>(record, address, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(tail)));
    Put<uint32_t>(record, length, static_cast<uint32_t>(path.size()));
    std::memcpy(tail, path.data(), path.size());
    tail += path.size();
  };
  Put<uint32_t>(record, kTag, kExtensionTag);
  if (longPath) putWhole(message.path, kWholePath, kWholePathLength);
  if (longNewPath) putWhole(message.newPath, kWholeNewPath, kWholeNewPathLength);
  if (message.operation == foRename && message.subCode == fsFolderRenamed)
    Put<uint8_t>(record, kFlags, ffFolder);
  Put<uint32_t>(record, kKind, kFileRecord);
  Put<uint32_t>(record, kOperation, message.operation);
  Put<uint8_t>(record, kSubCode, static_cast<uint8_t>(message.subCode));
  PutPath(record, kPath, message.path);
  PutPath(record, kNewPath, message.newPath);
  Put<uint32_t>(record, kProcessId, processId);
  Put<uint16_t>(record, kStatus, Status(message.status));
  Put<uint8_t>(record, kCreated, message.created ? 1 : 0);
  Put<uint64_t>(record, kSizeLow, message.sizeBefore);  // low half, then high
  Put<uint64_t>(record, kWriteTimeLow, message.writeTimeBefore);
  records_.emplace(reinterpret_cast<uintptr_t>(record), std::move(block));
  bytes_ += size;
  return record;
}

uint8_t* RecordStore::MakeRegistry(const trapfeed::Message& message, uint32_t processId) {
  // "HKEY_LOCAL_MACHINE\Software\X": the key is the root, the subkey the rest (present
  // and empty when there is no rest).
  const std::string& path = message.keyPath;
  const size_t split = path.find('\\');
  const size_t keyLength = split == std::string::npos ? path.size() : split;
  const size_t subkeyStart = split == std::string::npos ? path.size() : split + 1;
  std::string names = path.substr(0, keyLength);
  names += '\0';
  names.append(path, subkeyStart, std::string::npos);
  names += '\0';
  names += message.valueName;
  names += '\0';

  Block block{std::unique_ptr<uint8_t[]>(new uint8_t[kRegistryRecordBytes]()),
              kRegistryRecordBytes};
  uint8_t* record = block.bytes.get();
  uint8_t* text = nullptr;
  const uint32_t namesReference = NewBuffer(names.data(), names.size(), text);
  auto address = [](const uint8_t* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); };
  using namespace registry_record;
  Put<uint32_t>(record, kKind, kRegistryRecord);
  Put<uint32_t>(record, kOperation, message.operation);
  Put<uint32_t>(record, kProcessId, processId);
  Put<uint32_t>(record, kKey, address(text));
  Put<uint32_t>(record, kSubkey, address(text + keyLength + 1));
  const bool valueOperation = message.operation >= roValueAdded;
  if (valueOperation || !message.valueName.empty())
    Put<uint32_t>(record, kValueName, address(text + names.size() - message.valueName.size() - 1));
  Put<uint32_t>(record, kValueType, message.valueType);
  Put<uint32_t>(record, kBuffer1, namesReference);
  if (message.hasNewData) {
    uint8_t* data = nullptr;
    const uint32_t reference = NewBuffer(message.newData.data(), message.newData.size(), data);
    Put<uint32_t>(record, kBuffer2, reference);
    Put<uint32_t>(record, kNewData, address(data));
    Put<uint32_t>(record, kNewSize, static_cast<uint32_t>(message.newData.size()));
    Put<uint32_t>(record, kNewWholeSize, message.newWholeSize);
  }
  if (message.hasOldData) {
    uint8_t* data = nullptr;
    const uint32_t reference = NewBuffer(message.oldData.data(), message.oldData.size(), data);
    Put<uint32_t>(record, kBuffer3, reference);
    Put<uint32_t>(record, kOldData, address(data));
    Put<uint32_t>(record, kOldSize, static_cast<uint32_t>(message.oldData.size()));
    Put<uint32_t>(record, kOldWholeSize, message.oldWholeSize);
    if (message.oldValueType < 255)
      Put<uint8_t>(record, kOldTypePlusOne, static_cast<uint8_t>(message.oldValueType + 1));
  }
  records_.emplace(reinterpret_cast<uintptr_t>(record), std::move(block));
  bytes_ += kRegistryRecordBytes;
  return record;
}

bool RecordStore::ReleaseRecord(uintptr_t address) {
  auto found = records_.find(address);
  if (found == records_.end()) return false;
  bytes_ -= found->second.size;
  records_.erase(found);
  return true;
}

bool RecordStore::ReleaseBuffer(uint32_t reference) {
  auto found = buffers_.find(reference);
  if (found == buffers_.end()) return false;
  bytes_ -= found->second.size;
  buffers_.erase(found);
  return true;
}

void RecordStore::Discard(uint8_t* record) {
  uint32_t kind = 0;
  std::memcpy(&kind, record + file_record::kKind, 4);  // both layouts start so
  if (kind == kRegistryRecord) {
    for (size_t offset : registry_record::kBuffers) {
      uint32_t reference = 0;
      std::memcpy(&reference, record + offset, 4);
      if (reference) ReleaseBuffer(reference);
    }
  }
  ReleaseRecord(reinterpret_cast<uintptr_t>(record));
}

void RecordStore::FreeAll() {
  records_.clear();
  buffers_.clear();
  bytes_ = 0;
}

void RecordStore::Abandon() {
  for (auto& entry : records_) entry.second.bytes.release();
  for (auto& entry : buffers_) entry.second.bytes.release();
  FreeAll();
}

}  // namespace trapdriver
