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
const realtime::DriverEntries entries = {&FakeTrapDriver::Open, &FakeTrapDriver::Close,
                                         &FakeTrapDriver::Control, &FakeTrapDriver::Trace};

template <class T>
void Put(Record& record, size_t offset, T value) {
  std::memcpy(record.data() + offset, &value, sizeof value);
}

void PutPointer(Record& record, size_t offset, const void* pointer) {
  Put(record, offset, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer)));
}

}  // namespace

// The records as the driver lays them out, offset by offset, written out here rather than
// taken from the program's own names for them: a wrong offset there must not pass.
Record FileRecord(const FileOp& op) {
  Record record(583, 0);
  Put(record, 0, uint32_t{64});
  Put(record, 4, op.operation);
  record[12] = op.subCode;
  std::memcpy(&record[23], op.path.data(), std::min<size_t>(op.path.size(), 260));
  std::memcpy(&record[283], op.newPath.data(), std::min<size_t>(op.newPath.size(), 260));
  Put(record, 552, op.processId);
  Put(record, 556, op.status);
  record[566] = op.created ? 1 : 0;
  Put(record, 567, static_cast<uint32_t>(op.size));
  Put(record, 571, static_cast<uint32_t>(op.size >> 32));
  Put(record, 575, static_cast<uint32_t>(op.writeTime.dwLowDateTime));
  Put(record, 579, static_cast<uint32_t>(op.writeTime.dwHighDateTime));
  if (op.folder || op.path.size() > 260 || op.newPath.size() > 260) {
    Put(record, 13, uint32_t{0x58345456});  // "VT4X": the driver's own bytes are in use
    record[17] = op.folder ? 1 : 0;
    if (op.path.size() > 260) {
      PutPointer(record, 558, op.path.data());
      Put(record, 543, static_cast<uint32_t>(op.path.size()));
    }
    if (op.newPath.size() > 260) {
      PutPointer(record, 562, op.newPath.data());
      Put(record, 547, static_cast<uint32_t>(op.newPath.size()));
    }
  }
  return record;
}

Record RegistryRecord(const RegOp& op) {
  Record record(65, 0);
  Put(record, 0, uint32_t{1});
  Put(record, 4, op.operation);
  Put(record, 17, op.processId);
  PutPointer(record, 21, op.key);
  PutPointer(record, 25, op.subkey);
  PutPointer(record, 29, op.valueName);
  Put(record, 33, op.type);
  PutPointer(record, 37, op.newData ? op.newData->data() : nullptr);
  Put(record, 41, static_cast<uint32_t>(op.newData ? op.newData->size() : 0));
  PutPointer(record, 45, op.oldData ? op.oldData->data() : nullptr);
  Put(record, 49, static_cast<uint32_t>(op.oldData ? op.oldData->size() : 0));
  // The whole sizes of data cut short, in bytes the layout leaves to the driver.
  Put(record, 8, op.newWholeSize);
  Put(record, 12, op.oldWholeSize);
  for (int i = 0; i < 3; ++i) Put(record, 53 + 4 * i, op.buffers[i]);
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
}

FakeTrapDriver::~FakeTrapDriver() {
  current = nullptr;
  if (subscriber_) CloseHandle(subscriber_);
}

realtime::DriverSource FakeTrapDriver::Source() const {
  realtime::DriverSource source;
  source.entries = &entries;
  return source;
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

// The control codes and buffers as the driver defines them, in numbers of their own here.
BOOL WINAPI FakeTrapDriver::Control(DWORD code, void* in, DWORD inSize, void* out, DWORD,
                                    DWORD*) {
  FakeTrapDriver& d = *current;
  std::lock_guard<std::mutex> hold(d.lock);
  const auto* bytes = static_cast<const unsigned char*>(in);
  uint32_t value = 0;
  if (in && inSize >= 4) std::memcpy(&value, in, 4);
  switch (code) {
    case 1:  // the version
      if (d.failVersion) return FALSE;
      *static_cast<uint16_t*>(out) = 0x0104;
      return TRUE;
    case 2: {  // a subscription
      d.subscriptions.emplace_back(bytes, bytes + inSize);
      d.subscriberThreads.push_back(GetCurrentThreadId());
      if (!d.subscriber_)
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(),
                        &d.subscriber_, 0, FALSE, DUPLICATE_SAME_ACCESS);
      uint32_t routine;
      std::memcpy(&routine, bytes + 54, 4);
      d.routine_ = reinterpret_cast<void(CALLBACK*)(ULONG_PTR)>(static_cast<uintptr_t>(routine));
      *static_cast<uint32_t*>(out) = 100 + static_cast<uint32_t>(d.subscriptions.size());
      return TRUE;
    }
    case 3: d.releasedRecords.push_back(value); return TRUE;
    case 5: d.releasedBuffers.push_back(value); return TRUE;
    case 4: {  // a withdrawal
      d.withdrawals.emplace_back(bytes, bytes + inSize);
      uint32_t block;
      std::memcpy(&block, bytes + 4, 4);
      const auto* sent = reinterpret_cast<const unsigned char*>(static_cast<uintptr_t>(block));
      d.blocksAtWithdrawal.emplace_back(sent, sent + 60);
      if (d.withdrawals.size() % 11 == 0 && d.subscriber_) {
        CloseHandle(d.subscriber_);
        d.subscriber_ = nullptr;
      }
      return TRUE;
    }
    case 6: *static_cast<uint32_t*>(out) = d.key; return TRUE;
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
