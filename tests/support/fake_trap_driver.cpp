#include "support/fake_trap_driver.h"

#include <algorithm>
#include <cstring>

#include "platform/trapabi.h"
#include "realtime/device.h"
#include "realtime/records.h"
#include "realtime/vorttrap.h"
#include "support/gui_driver.h"

namespace testing_support {
namespace {

FakeTrapDriver* current = nullptr;
realtime::DriverEntries entries{};

template <class T>
void Put(Record& record, size_t offset, T value) {
  std::memcpy(record.data() + offset, &value, sizeof value);
}

void PutPointer(Record& record, size_t offset, const void* pointer) {
  Put(record, offset, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer)));
}

}  // namespace

Record FileRecord(const FileOp& op) {
  using namespace realtime::file_record;
  Record record(kSize, 0);
  Put(record, kKind, realtime::kFileRecord);
  Put(record, kOperation, op.operation);
  record[kSubCode] = op.subCode;
  std::memcpy(&record[kPath], op.path.data(), std::min(op.path.size(), kPathSize));
  std::memcpy(&record[kNewPath], op.newPath.data(), std::min(op.newPath.size(), kPathSize));
  Put(record, kProcessId, op.processId);
  Put(record, kStatus, op.status);
  record[kCreated] = op.created ? 1 : 0;
  Put(record, kSizeLow, static_cast<uint32_t>(op.size));
  Put(record, kSizeHigh, static_cast<uint32_t>(op.size >> 32));
  Put(record, kWriteTimeLow, static_cast<uint32_t>(op.writeTime.dwLowDateTime));
  Put(record, kWriteTimeHigh, static_cast<uint32_t>(op.writeTime.dwHighDateTime));
  if (op.folder || op.path.size() > kPathSize || op.newPath.size() > kPathSize) {
    Put(record, kTag, kExtensionTag);
    record[kFlags] = op.folder ? realtime::ffFolder : 0;
    if (op.path.size() > kPathSize) {
      PutPointer(record, kWholePath, op.path.data());
      Put(record, kWholePathLength, static_cast<uint32_t>(op.path.size()));
    }
    if (op.newPath.size() > kPathSize) {
      PutPointer(record, kWholeNewPath, op.newPath.data());
      Put(record, kWholeNewPathLength, static_cast<uint32_t>(op.newPath.size()));
    }
  }
  return record;
}

Record RegistryRecord(const RegOp& op) {
  using namespace realtime::registry_record;
  Record record(kSize, 0);
  Put(record, kKind, realtime::kRegistryRecord);
  Put(record, kOperation, op.operation);
  Put(record, kProcessId, op.processId);
  PutPointer(record, kKey, op.key);
  PutPointer(record, kSubkey, op.subkey);
  PutPointer(record, kValueName, op.valueName);
  Put(record, kValueType, op.type);
  PutPointer(record, kNewData, op.newData ? op.newData->data() : nullptr);
  Put(record, kNewSize, static_cast<uint32_t>(op.newData ? op.newData->size() : 0));
  PutPointer(record, kOldData, op.oldData ? op.oldData->data() : nullptr);
  Put(record, kOldSize, static_cast<uint32_t>(op.oldData ? op.oldData->size() : 0));
  Put(record, kNewWholeSize, op.newWholeSize);
  Put(record, kOldWholeSize, op.oldWholeSize);
  Put(record, kBuffer1, op.buffers[0]);
  Put(record, kBuffer2, op.buffers[1]);
  Put(record, kBuffer3, op.buffers[2]);
  return record;
}

Record ProcessNoteRecord(uint32_t processId, uint32_t kind, FILETIME since, uint32_t reason,
                         uint32_t error, const std::string& name) {
  namespace note = trapabi::process_note;
  Record record(note::kSize, 0);
  Put(record, note::kProcessId, processId);
  Put(record, note::kKind, kind);
  std::memcpy(record.data() + note::kSince, &since, sizeof since);
  Put(record, note::kReason, reason);
  Put(record, note::kError, error);
  std::memcpy(record.data() + note::kName, name.data(), std::min(name.size(), note::kNameSize - 1));
  return record;
}

FakeTrapDriver::FakeTrapDriver() {
  current = this;
  entries = {&Open, &Close, &Control, &Trace};
  realtime::UseDriverEntries(&entries);
}

FakeTrapDriver::~FakeTrapDriver() {
  realtime::StopRealTimeTracking();
  realtime::UseDriverEntries(nullptr);
  current = nullptr;
  if (subscriber_) CloseHandle(subscriber_);
}

bool FakeTrapDriver::Deliver(const Record& record) {
  std::lock_guard<std::mutex> hold(lock);
  if (!subscriber_ || !routine_) return false;
  pending_.push_back(record);
  return QueueUserAPC(routine_, subscriber_, reinterpret_cast<ULONG_PTR>(pending_.back().data()));
}

bool FakeTrapDriver::WaitReleased(size_t records, DWORD timeout) {
  return gui::WaitFor(
      [&] {
        std::lock_guard<std::mutex> hold(lock);
        return releasedRecords.size() >= records;
      },
      timeout);
}

BOOL WINAPI FakeTrapDriver::Open() {
  std::lock_guard<std::mutex> hold(current->lock);
  ++current->opens;
  return TRUE;
}

BOOL WINAPI FakeTrapDriver::Close() {
  std::lock_guard<std::mutex> hold(current->lock);
  ++current->closes;
  return TRUE;
}

BOOL WINAPI FakeTrapDriver::Control(DWORD code, void* in, DWORD inSize, void* out, DWORD,
                                    DWORD*) {
  FakeTrapDriver& d = *current;
  std::lock_guard<std::mutex> hold(d.lock);
  const auto* bytes = static_cast<const unsigned char*>(in);
  uint32_t value = 0;
  if (in && inSize >= 4) std::memcpy(&value, in, 4);
  switch (code) {
    case realtime::tcGetVersion:
      if (d.failVersion) return FALSE;
      *static_cast<uint16_t*>(out) = 0x0104;
      return TRUE;
    case realtime::tcSubscribe: {
      d.subscriptions.emplace_back(bytes, bytes + inSize);
      d.subscriberThreads.push_back(GetCurrentThreadId());
      if (!d.subscriber_)
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(),
                        &d.subscriber_, 0, FALSE, DUPLICATE_SAME_ACCESS);
      uint32_t routine;
      std::memcpy(&routine, bytes + realtime::subscription::kRoutine, 4);
      d.routine_ = reinterpret_cast<void(CALLBACK*)(ULONG_PTR)>(static_cast<uintptr_t>(routine));
      *static_cast<uint32_t*>(out) = 100 + static_cast<uint32_t>(d.subscriptions.size());
      return TRUE;
    }
    case realtime::tcReleaseRecord: d.releasedRecords.push_back(value); return TRUE;
    case realtime::tcReleaseBuffer: d.releasedBuffers.push_back(value); return TRUE;
    case realtime::tcUnsubscribe: {
      d.withdrawals.emplace_back(bytes, bytes + inSize);
      uint32_t block;
      std::memcpy(&block, bytes + 4, 4);
      const auto* sent = reinterpret_cast<const unsigned char*>(static_cast<uintptr_t>(block));
      d.blocksAtWithdrawal.emplace_back(sent, sent + realtime::kSubscriptionSize);
      if (d.withdrawals.size() % realtime::kSubscriptionCount == 0 && d.subscriber_) {
        CloseHandle(d.subscriber_);
        d.subscriber_ = nullptr;
      }
      return TRUE;
    }
    case realtime::tcGetProcessKey: *static_cast<uint32_t*>(out) = d.key; return TRUE;
    case trapabi::tcGetProcessNote:
      if (value >= d.notes.size()) return FALSE;
      std::memcpy(out, d.notes[value].data(), d.notes[value].size());
      return TRUE;
    default: return FALSE;
  }
}

BOOL WINAPI FakeTrapDriver::Trace(HANDLE, HANDLE, DWORD processId) {
  std::lock_guard<std::mutex> hold(current->lock);
  current->traced.push_back(processId);
  return TRUE;
}

}  // namespace testing_support
