#pragma once
// The operation records that subscribers read in place, and the blocks they point to.
// Each record and block belongs to the store until its subscriber gives it back.
#include <cstdint>
#include <memory>
#include <unordered_map>

#include "platform/trapabi.h"
#include "trapdriver/feed/feed.h"

namespace trapdriver {

// The layouts' sizes, rounded up to whole words.
constexpr uint32_t kFileRecordBytes = (trapabi::file_record::kSize + 3) & ~3u;
constexpr uint32_t kRegistryRecordBytes = (trapabi::registry_record::kSize + 3) & ~3u;

class RecordStore {
 public:
  // The record of one operation for one subscriber, with the process id already keyed.
  uint8_t* Make(const trapfeed::Message& message, uint32_t processId);
  bool ReleaseRecord(uintptr_t address);
  bool ReleaseBuffer(uint32_t reference);
  // Takes back a record that could not be delivered, with its blocks.
  void Discard(uint8_t* record);
  // Frees everything, or hands it over unfreed when a subscriber may still read it.
  void FreeAll();
  void Abandon();

  size_t Records() const { return records_.size(); }
  size_t Buffers() const { return buffers_.size(); }
  size_t Bytes() const { return bytes_; }

 private:
  struct Block {
    std::unique_ptr<uint8_t[]> bytes;
    size_t size;
  };
  uint32_t NewBuffer(const void* bytes, size_t size, uint8_t*& address);
  uint8_t* MakeFile(const trapfeed::Message& message, uint32_t processId);
  uint8_t* MakeRegistry(const trapfeed::Message& message, uint32_t processId);

  std::unordered_map<uintptr_t, Block> records_;  // by address
  std::unordered_map<uintptr_t, Block> buffers_;  // by reference
  uint32_t nextReference_ = 0;
  size_t bytes_ = 0;
};

}  // namespace trapdriver
