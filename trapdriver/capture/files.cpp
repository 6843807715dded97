// The file operations: opens for writing (and creations), deletions, renames, folders made
// and removed, as Wine's ntdll sees them. DeleteFile is an open with delete-on-close;
// RemoveDirectory and MoveFile set the handle's disposition or new name.
#include <windows.h>
#include <winternl.h>

#include "trapdriver/capture/capture.h"
#include "trapdriver/capture/names.h"
#include "trapdriver/capture/native.h"

namespace trapcapture {

namespace {

using namespace trapabi;

constexpr ULONG kFileCreate = 2, kFileOpenIf = 3;  // dispositions
constexpr ULONG kDirectoryFile = 0x1, kDeleteOnClose = 0x1000;  // options
constexpr ULONG kCreated = 2;  // what the status block says an open did
constexpr ULONG kRenameInformation = 10, kDispositionInformation = 13,
                kDispositionInformationEx = 64, kRenameInformationEx = 65;
constexpr ACCESS_MASK kWriteAccess = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA;
constexpr ACCESS_MASK kReadAccess = GENERIC_READ | GENERIC_ALL | FILE_READ_DATA;

using CreateFileCall = NTSTATUS(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*,
                                        LARGE_INTEGER*, ULONG, ULONG, ULONG, ULONG, void*, ULONG);
using OpenFileCall = NTSTATUS(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*,
                                      ULONG, ULONG);
using DeleteFileCall = NTSTATUS(NTAPI*)(OBJECT_ATTRIBUTES*);
using SetInformationFileCall = NTSTATUS(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, ULONG);

NTSTATUS NTAPI CreateFileHook(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*,
                              LARGE_INTEGER*, ULONG, ULONG, ULONG, ULONG, void*, ULONG);
NTSTATUS NTAPI OpenFileHook(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*, ULONG, ULONG);
NTSTATUS NTAPI DeleteFileHook(OBJECT_ATTRIBUTES*);
NTSTATUS NTAPI SetInformationFileHook(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, ULONG);

enum { kCreateFileSlot, kOpenFileSlot, kDeleteFileSlot, kSetInformationSlot };
HookSlot slots[] = {
    {"NtCreateFile", reinterpret_cast<void*>(&CreateFileHook), {}},
    {"NtOpenFile", reinterpret_cast<void*>(&OpenFileHook), {}},
    {"NtDeleteFile", reinterpret_cast<void*>(&DeleteFileHook), {}},
    {"NtSetInformationFile", reinterpret_cast<void*>(&SetInformationFileHook), {}},
};

trapfeed::Message FileMessage(uint32_t operation, const std::string& path, NTSTATUS status) {
  trapfeed::Message message;
  message.kind = trapfeed::Kind::File;
  message.operation = operation;
  message.path = path;
  message.status = static_cast<uint32_t>(status);
  return message;
}

void SendRemoval(const std::string& path, bool directory, NTSTATUS status) {
  trapfeed::Message message = FileMessage(directory ? foDirectory : foDelete, path, status);
  message.subCode = directory ? fsDirectoryRemoved : 0;
  Emit(message);
}

// One open or create of either call. `call` makes the real call.
template <class RealCall>
NTSTATUS CaptureOpen(ACCESS_MASK access, OBJECT_ATTRIBUTES* attributes, IO_STATUS_BLOCK* io,
                     ULONG disposition, ULONG options, RealCall call) {
  bool directoryCall = (options & kDirectoryFile) != 0;
  bool deletes = (options & kDeleteOnClose) != 0;
  bool makesDirectory = directoryCall && (disposition == kFileCreate || disposition == kFileOpenIf);
  bool writes = (access & kWriteAccess) != 0 && !directoryCall;
  bool mayCreate = disposition != FILE_OPEN && !directoryCall;
  bool truncates = disposition == FILE_SUPERSEDE || disposition == FILE_OVERWRITE ||
                   disposition == FILE_OVERWRITE_IF;
  if (!deletes && !makesDirectory && !writes && !mayCreate) return call();
  std::string path = Win32FilePath(AttributesName(attributes));
  if (path.empty()) return call();

  FileState before = QueryFileState(attributes);
  NTSTATUS status = call();
  bool failed = !NT_SUCCESS(status);
  bool created = !failed && io != nullptr && io->Information == kCreated;
  if (deletes) {
    SendRemoval(path, directoryCall || before.directory, status);
  } else if (makesDirectory) {
    if (created || (failed && disposition == kFileCreate)) {
      trapfeed::Message message = FileMessage(foDirectory, path, status);
      Emit(message);
    }
  } else if ((writes || created || (truncates && !failed) || (failed && disposition != kFileOpenIf)) &&
             !before.directory) {
    trapfeed::Message message = FileMessage(foOpen, path, status);
    message.subCode = writes && (access & kReadAccess) != 0 ? fsReadWrite : fsWriteOnly;
    message.created = created;
    if (before.exists && !created) {
      message.sizeBefore = before.size;
      message.writeTimeBefore = before.writeTime;
    }
    Emit(message);
  }
  return status;
}

NTSTATUS NTAPI CreateFileHook(HANDLE* handle, ACCESS_MASK access, OBJECT_ATTRIBUTES* attributes,
                              IO_STATUS_BLOCK* io, LARGE_INTEGER* allocation, ULONG fileAttributes,
                              ULONG share, ULONG disposition, ULONG options, void* ea,
                              ULONG eaLength) {
  CaptureScope scope;
  auto call = [&] {
    return Real<CreateFileCall>(slots[kCreateFileSlot])(handle, access, attributes, io, allocation,
                                                        fileAttributes, share, disposition, options,
                                                        ea, eaLength);
  };
  if (!scope.active()) return call();
  return CaptureOpen(access, attributes, io, disposition, options, call);
}

NTSTATUS NTAPI OpenFileHook(HANDLE* handle, ACCESS_MASK access, OBJECT_ATTRIBUTES* attributes,
                            IO_STATUS_BLOCK* io, ULONG share, ULONG options) {
  CaptureScope scope;
  auto call = [&] {
    return Real<OpenFileCall>(slots[kOpenFileSlot])(handle, access, attributes, io, share, options);
  };
  if (!scope.active()) return call();
  return CaptureOpen(access, attributes, io, FILE_OPEN, options, call);
}

NTSTATUS NTAPI DeleteFileHook(OBJECT_ATTRIBUTES* attributes) {
  CaptureScope scope;
  auto call = [&] { return Real<DeleteFileCall>(slots[kDeleteFileSlot])(attributes); };
  if (!scope.active()) return call();
  std::string path = Win32FilePath(AttributesName(attributes));
  if (path.empty()) return call();
  bool directory = QueryFileState(attributes).directory;
  NTSTATUS status = call();
  SendRemoval(path, directory, status);
  return status;
}

// The new name of a rename: absolute, relative to a folder handle, or a bare name in the
// file's own folder.
std::wstring RenameTarget(const void* information, ULONG length, const std::wstring& oldName) {
  struct Rename {
    ULONG replaceOrFlags;
    HANDLE root;
    ULONG nameLength;
    WCHAR name[1];
  };
  auto* rename = static_cast<const Rename*>(information);
  if (length < offsetof(Rename, name) || offsetof(Rename, name) + rename->nameLength > length) return {};
  std::wstring name(rename->name, rename->nameLength / sizeof(WCHAR));
  if (rename->root != nullptr) return JoinNative(HandleName(rename->root), name);
  if (!name.empty() && name.front() == L'\\') return name;
  size_t slash = oldName.rfind(L'\\');
  return slash == std::wstring::npos ? name : oldName.substr(0, slash + 1) + name;
}

NTSTATUS NTAPI SetInformationFileHook(HANDLE file, IO_STATUS_BLOCK* io, void* information,
                                      ULONG length, ULONG informationClass) {
  CaptureScope scope;
  auto call = [&] {
    return Real<SetInformationFileCall>(slots[kSetInformationSlot])(file, io, information, length,
                                                                    informationClass);
  };
  if (!scope.active() || information == nullptr) return call();
  if (informationClass == kDispositionInformation || informationClass == kDispositionInformationEx) {
    bool deletes = informationClass == kDispositionInformation
                       ? *static_cast<const BOOLEAN*>(information) != 0
                       : (*static_cast<const ULONG*>(information) & 1) != 0;
    std::string path = deletes ? Win32FilePath(HandleName(file)) : std::string();
    if (path.empty()) return call();
    bool directory = HandleIsDirectory(file);
    NTSTATUS status = call();
    SendRemoval(path, directory, status);
    return status;
  }
  if (informationClass == kRenameInformation || informationClass == kRenameInformationEx) {
    std::wstring oldName = HandleName(file);
    std::string path = Win32FilePath(oldName);
    std::string newPath = Win32FilePath(RenameTarget(information, length, oldName));
    if (path.empty() || newPath.empty()) return call();
    NTSTATUS status = call();
    trapfeed::Message message = FileMessage(foRename, path, status);
    message.newPath = newPath;
    Emit(message);
    return status;
  }
  return call();
}

}  // namespace

HookSlot* FileHooks(size_t& count) {
  count = sizeof slots / sizeof slots[0];
  return slots;
}

}  // namespace trapcapture
