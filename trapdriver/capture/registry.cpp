// The registry operations: keys created (as the call reports them new), deleted and renamed,
// values set and deleted with the data they had. Failed registry calls are not sent: their
// records have no status to carry the failure. Closes are watched for the key names kept
// per handle (keynames.h).
#include <windows.h>
#include <winternl.h>

#include "trapdriver/capture/capture.h"
#include "trapdriver/capture/keynames.h"
#include "trapdriver/capture/names.h"
#include "trapdriver/capture/native.h"

namespace trapcapture {

namespace {

using namespace trapabi;

using CreateKeyCall = NTSTATUS(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, ULONG,
                                       UNICODE_STRING*, ULONG, ULONG*);
using KeyCall = NTSTATUS(NTAPI*)(HANDLE);
using RenameKeyCall = NTSTATUS(NTAPI*)(HANDLE, UNICODE_STRING*);
using SetValueCall = NTSTATUS(NTAPI*)(HANDLE, UNICODE_STRING*, ULONG, ULONG, void*, ULONG);
using DeleteValueCall = NTSTATUS(NTAPI*)(HANDLE, UNICODE_STRING*);
using CloseCall = NTSTATUS(NTAPI*)(HANDLE);
using DuplicateObjectCall = NTSTATUS(NTAPI*)(HANDLE, HANDLE, HANDLE, HANDLE*, ACCESS_MASK, ULONG,
                                             ULONG);

NTSTATUS NTAPI CreateKeyHook(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, ULONG, UNICODE_STRING*,
                             ULONG, ULONG*);
NTSTATUS NTAPI DeleteKeyHook(HANDLE);
NTSTATUS NTAPI RenameKeyHook(HANDLE, UNICODE_STRING*);
NTSTATUS NTAPI SetValueHook(HANDLE, UNICODE_STRING*, ULONG, ULONG, void*, ULONG);
NTSTATUS NTAPI DeleteValueHook(HANDLE, UNICODE_STRING*);
NTSTATUS NTAPI CloseHook(HANDLE);
NTSTATUS NTAPI DuplicateObjectHook(HANDLE, HANDLE, HANDLE, HANDLE*, ACCESS_MASK, ULONG, ULONG);

enum {
  kCreateKeySlot,
  kDeleteKeySlot,
  kRenameKeySlot,
  kSetValueSlot,
  kDeleteValueSlot,
  kCloseSlot,
  kDuplicateObjectSlot
};
HookSlot slots[] = {
    {"NtCreateKey", reinterpret_cast<void*>(&CreateKeyHook), {}},
    {"NtDeleteKey", reinterpret_cast<void*>(&DeleteKeyHook), {}},
    {"NtRenameKey", reinterpret_cast<void*>(&RenameKeyHook), {}},
    {"NtSetValueKey", reinterpret_cast<void*>(&SetValueHook), {}},
    {"NtDeleteValueKey", reinterpret_cast<void*>(&DeleteValueHook), {}},
    {"NtClose", reinterpret_cast<void*>(&CloseHook), {}},
    {"NtDuplicateObject", reinterpret_cast<void*>(&DuplicateObjectHook), {}},
};

trapfeed::Message RegistryMessage(uint32_t operation, const std::string& keyPath,
                                  const std::string& valueName = "") {
  trapfeed::Message message;
  message.kind = trapfeed::Kind::Registry;
  message.operation = operation;
  message.keyPath = keyPath;
  message.valueName = valueName;
  return message;
}

void SendKey(uint32_t operation, const std::string& keyPath) {
  trapfeed::Message message = RegistryMessage(operation, keyPath);
  Emit(message);
}

void SetOldData(trapfeed::Message& message, const ValueState& old) {
  message.hasOldData = true;
  message.oldValueType = old.type;
  message.oldData = AnsiValueData(old.type, old.data.data(), old.data.size());
}

void SendValueDeleted(const std::string& keyPath, const std::string& valueName,
                      const ValueState& old) {
  trapfeed::Message message = RegistryMessage(roValueDeleted, keyPath, valueName);
  message.valueType = old.type;
  SetOldData(message, old);
  Emit(message);
}

NTSTATUS NTAPI CreateKeyHook(HANDLE* key, ACCESS_MASK access, OBJECT_ATTRIBUTES* attributes,
                             ULONG titleIndex, UNICODE_STRING* keyClass, ULONG options,
                             ULONG* disposition) {
  CaptureScope scope;
  ULONG ownDisposition = 0;
  ULONG* answer = disposition != nullptr ? disposition : &ownDisposition;
  NTSTATUS status = Real<CreateKeyCall>(slots[kCreateKeySlot])(key, access, attributes, titleIndex,
                                                               keyClass, options, answer);
  if (scope.active() && NT_SUCCESS(status) && *answer == REG_CREATED_NEW_KEY) {
    ForgetKeyName(*key);  // a new handle: any name kept for its number is of another
    const std::wstring nativeName = CachedKeyName(*key);
    std::string keyPath = RegistryPath(nativeName);
    if (!keyPath.empty()) {
      NoteKeyMade(nativeName);
      SendKey(roKeyCreated, keyPath);
    }
  }
  return status;
}

// A key goes with its values, as a comparison of before and after shows them: each value
// is sent as deleted, with its data, then the key.
NTSTATUS NTAPI DeleteKeyHook(HANDLE key) {
  CaptureScope scope;
  std::string keyPath = scope.active() ? RegistryPath(CachedKeyName(key)) : std::string();
  std::vector<NamedValue> values;
  if (!keyPath.empty()) values = KeyValues(key);
  NTSTATUS status = Real<KeyCall>(slots[kDeleteKeySlot])(key);
  if (NT_SUCCESS(status)) KeyNamesChanged();
  if (!NT_SUCCESS(status) || keyPath.empty()) return status;
  for (const NamedValue& value : values) SendValueDeleted(keyPath, Ansi(value.name), value.state);
  SendKey(roKeyDeleted, keyPath);
  return status;
}

NTSTATUS NTAPI RenameKeyHook(HANDLE key, UNICODE_STRING* newName) {
  CaptureScope scope;
  std::string keyPath = scope.active() ? RegistryPath(CachedKeyName(key)) : std::string();
  NTSTATUS status = Real<RenameKeyCall>(slots[kRenameKeySlot])(key, newName);
  if (NT_SUCCESS(status)) KeyNamesChanged();
  size_t slash = keyPath.rfind('\\');
  if (NT_SUCCESS(status) && slash != std::string::npos) {
    SendKey(roKeyDeleted, keyPath);
    SendKey(roKeyCreated, keyPath.substr(0, slash + 1) + Ansi(UnicodeText(newName)));
  }
  return status;
}

NTSTATUS NTAPI SetValueHook(HANDLE key, UNICODE_STRING* name, ULONG titleIndex, ULONG type,
                            void* data, ULONG size) {
  CaptureScope scope;
  auto call = [&] {
    return Real<SetValueCall>(slots[kSetValueSlot])(key, name, titleIndex, type, data, size);
  };
  if (!scope.active()) return call();
  const std::wstring nativeName = CachedKeyName(key);
  std::string keyPath = RegistryPath(nativeName);
  if (keyPath.empty()) return call();
  ValueState old;
  if (!ValueKnownMissing(nativeName, name)) old = QueryValue(key, name);
  NTSTATUS status = call();
  if (!NT_SUCCESS(status)) return status;
  NoteValueWritten(nativeName, name, true);
  trapfeed::Message message =
      RegistryMessage(old.exists ? roValueChanged : roValueAdded, keyPath, Ansi(UnicodeText(name)));
  message.valueType = type;
  message.hasNewData = true;
  message.newData = AnsiValueData(type, data, size);
  if (old.exists) SetOldData(message, old);
  Emit(message);
  return status;
}

NTSTATUS NTAPI DeleteValueHook(HANDLE key, UNICODE_STRING* name) {
  CaptureScope scope;
  auto call = [&] { return Real<DeleteValueCall>(slots[kDeleteValueSlot])(key, name); };
  if (!scope.active()) return call();
  const std::wstring nativeName = CachedKeyName(key);
  std::string keyPath = RegistryPath(nativeName);
  if (keyPath.empty()) return call();
  ValueState old = QueryValue(key, name);
  NTSTATUS status = call();
  if (NT_SUCCESS(status)) NoteValueWritten(nativeName, name, false);
  if (NT_SUCCESS(status) && old.exists) SendValueDeleted(keyPath, Ansi(UnicodeText(name)), old);
  return status;
}

// Whatever the scope: a close from inside the capture ends a handle too. The name goes before
// the handle does, so a thread that gets the same number at once never finds it.
NTSTATUS NTAPI CloseHook(HANDLE handle) {
  ForgetKeyName(handle);
  return Real<CloseCall>(slots[kCloseSlot])(handle);
}

NTSTATUS NTAPI DuplicateObjectHook(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess,
                                   HANDLE* target, ACCESS_MASK access, ULONG attributes,
                                   ULONG options) {
  // The source may be another process's handle: forgetting a name costs only a question.
  if ((options & DUPLICATE_CLOSE_SOURCE) != 0) ForgetKeyName(source);
  auto duplicate = Real<DuplicateObjectCall>(slots[kDuplicateObjectSlot]);
  return duplicate(sourceProcess, source, targetProcess, target, access, attributes, options);
}

}  // namespace

HookSlot* RegistryHooks(size_t& count) {
  count = sizeof slots / sizeof slots[0];
  return slots;
}

}  // namespace trapcapture
