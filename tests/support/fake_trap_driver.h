#pragma once
// Operation records as the trap driver lays them out, and a driver of the tests' own
// that the driver interface can be pointed at: it remembers every request, delivers
// records to the subscribing thread as the real one does, and can be told to fail.
#include <windows.h>

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "realtime/device.h"

namespace testing_support {

using Record = std::vector<unsigned char>;

struct FileOp {
  FileOp(uint32_t operation, std::string path, std::string newPath = "", uint32_t processId = 0,
         uint8_t subCode = 0, bool created = false, uint16_t status = 0)
      : operation(operation), path(std::move(path)), newPath(std::move(newPath)),
        processId(processId), subCode(subCode), created(created), status(status) {}
  uint32_t operation;
  std::string path, newPath;
  uint32_t processId;
  uint8_t subCode;
  bool created;
  uint16_t status;
  uint64_t size = 0;
  FILETIME writeTime{};
  bool folder = false;  // a rename of a folder
};
// Paths longer than the record's fields are pointed to: the op must outlive the record.
Record FileRecord(const FileOp& op);

// Strings and data blocks a registry record points to; they must outlive the record.
struct RegOp {
  uint32_t operation = 2;
  uint32_t processId = 0;
  const char* key = "HKEY_LOCAL_MACHINE\\Software";
  const char* subkey = "Vendor";
  const char* valueName = nullptr;
  int32_t type = REG_SZ;
  const std::string* newData = nullptr;
  const std::string* oldData = nullptr;
  uint32_t newWholeSize = 0, oldWholeSize = 0;
  uint32_t buffers[3] = {};
};
Record RegistryRecord(const RegOp& op);

// A process note of the stand-in driver's own request (platform/trapnotes.h).
Record ProcessNoteRecord(uint32_t processId, uint32_t kind, FILETIME since, uint32_t reason,
                         uint32_t error, const std::string& name);

class FakeTrapDriver {
 public:
  // One at a time; tracking and queries use it through Source().
  FakeTrapDriver();
  ~FakeTrapDriver();
  realtime::DriverSource Source() const;

  // Queues the record to the subscribing thread; the copy lives until it is released.
  // False when nothing has subscribed.
  bool Deliver(const Record& record);
  // Waits until that many records have been released in all.
  bool WaitReleased(size_t records, DWORD timeout = 5000);

  std::mutex lock;
  bool failVersion = false;
  uint32_t key = 0x5A5A0000;
  int opens = 0, closes = 0;  // of the driver as a whole
  std::vector<std::vector<unsigned char>> subscriptions;  // the blocks, as sent
  std::vector<DWORD> subscriberThreads;
  std::vector<std::vector<unsigned char>> withdrawals;    // tcUnsubscribe inputs
  std::vector<std::vector<unsigned char>> blocksAtWithdrawal;
  std::vector<uint32_t> releasedRecords, releasedBuffers;
  std::vector<DWORD> traced;
  // Answers the stand-in's note request with these; without them it fails, as the device does.
  std::vector<Record> notes;

 // The entry points, for Source().
  static BOOL WINAPI Open();
  static BOOL WINAPI Close();
  static BOOL WINAPI Control(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                             DWORD* returned);
  static BOOL WINAPI Trace(HANDLE process, HANDLE thread, DWORD processId);

 private:
  HANDLE subscriber_ = nullptr;
  void (CALLBACK* routine_)(ULONG_PTR) = nullptr;
  std::deque<Record> pending_;
};

}  // namespace testing_support
