// The file operations: opens for writing (and creations), deletions, renames, folders made
// and removed, as Wine's ntdll sees them. DeleteFile is an open with delete-on-close;
// RemoveDirectory and MoveFile set the handle's disposition or new name.
#include <windows.h>
#include <winternl.h>

#include <string>
#include <utility>
#include <vector>

#include "trapdriver/capture/backups.h"
#include "trapdriver/capture/capture.h"
#include "trapdriver/capture/names.h"
#include "trapdriver/capture/native.h"

namespace trapcapture {

namespace {

using namespace trapabi;

constexpr ULONG kFileCreate = 2, kFileOpenIf = 3;  // dispositions
constexpr ULONG kDirectoryFile = 0x1, kDeleteOnClose = 0x1000;  // options
constexpr ULONG kCreated = 2;  // what the status block says an open did
constexpr ULONG kBasicInformation = 4, kRenameInformation = 10, kDispositionInformation = 13,
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

// Whether the disposition makes the file when it is missing.
bool CreatesWhenMissing(ULONG disposition) {
  return disposition == FILE_SUPERSEDE || disposition == kFileCreate ||
         disposition == kFileOpenIf || disposition == FILE_OVERWRITE_IF;
}

// One open or create of either call. `call(disposition)` makes the real call with the
// disposition given (NtOpenFile has none, and is made as it was asked).
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
  if (!deletes && !makesDirectory && !writes && !mayCreate) return call(disposition);
  const std::wstring nativeName = AttributesName(attributes);
  std::string path = Win32FilePath(nativeName);
  if (path.empty()) return call(disposition);

  // A look at the name before the call costs about as much as the open (under Wine a missing
  // name is searched for through its whole folder), and most files an install opens to write
  // are new. So a file the call may make is first made only if missing: for a missing name
  // that is what the call itself does, and a name that stands is left as it is, looked at
  // (and copied) as usual, and opened as asked. A create that fails changed nothing, so its
  // look may come after it.
  FileState before;
  NTSTATUS status = 0;
  bool called = false;
  if (!deletes && !directoryCall && io != nullptr && CreatesWhenMissing(disposition)) {
    status = call(kFileCreate);
    called = NT_SUCCESS(status) || disposition == kFileCreate;
    if (!NT_SUCCESS(status) && called) before = QueryFileState(attributes);
  }
  if (!called) {
    before = QueryFileState(attributes);
    if (before.exists && !before.directory && (deletes || writes || truncates))
      BackUpBeforeChange(nativeName, path);
    status = call(disposition);
  }
  bool failed = !NT_SUCCESS(status);
  bool created = !failed && io != nullptr && io->Information == kCreated;
  if (created) NoteMadeHere(path);
  if (deletes) {
    // A name that did not stand before (a scratch file made with delete-on-close, as the C
    // runtime's tmpfile makes it) goes when its handle closes: nothing changed.
    if (before.exists) SendRemoval(path, directoryCall || before.directory, status);
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
  auto call = [&](ULONG asked) {
    return Real<CreateFileCall>(slots[kCreateFileSlot])(handle, access, attributes, io, allocation,
                                                        fileAttributes, share, asked, options, ea,
                                                        eaLength);
  };
  if (!scope.active()) return call(disposition);
  return CaptureOpen(access, attributes, io, disposition, options, call);
}

NTSTATUS NTAPI OpenFileHook(HANDLE* handle, ACCESS_MASK access, OBJECT_ATTRIBUTES* attributes,
                            IO_STATUS_BLOCK* io, ULONG share, ULONG options) {
  CaptureScope scope;
  auto call = [&](ULONG) {
    return Real<OpenFileCall>(slots[kOpenFileSlot])(handle, access, attributes, io, share, options);
  };
  if (!scope.active()) return call(FILE_OPEN);
  return CaptureOpen(access, attributes, io, FILE_OPEN, options, call);
}

NTSTATUS NTAPI DeleteFileHook(OBJECT_ATTRIBUTES* attributes) {
  CaptureScope scope;
  auto call = [&] { return Real<DeleteFileCall>(slots[kDeleteFileSlot])(attributes); };
  if (!scope.active()) return call();
  const std::wstring nativeName = AttributesName(attributes);
  std::string path = Win32FilePath(nativeName);
  if (path.empty()) return call();
  const FileState before = QueryFileState(attributes);
  if (before.exists && !before.directory) BackUpBeforeChange(nativeName, path);
  bool directory = before.directory;
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

// Whether a rename may replace a file standing under the new name.
bool RenameReplaces(const void* information, ULONG informationClass) {
  if (informationClass == kRenameInformation)
    return *static_cast<const BOOLEAN*>(information) != 0;
  return (*static_cast<const ULONG*>(information) & 1) != 0;  // FILE_RENAME_REPLACE_IF_EXISTS
}

// A folder renamed moves everything in it: each entry is sent as a rename of its own, from
// its old path to its new one, so the lists show what a comparison of before and after
// shows.
void SendMovedEntries(const std::string& from, const std::string& to,
                      const std::wstring& nativeFolder, NTSTATUS status) {
  std::vector<std::pair<std::string, std::wstring>> folders{{"", nativeFolder}};
  for (size_t next = 0; next < folders.size(); ++next) {
    const std::string relative = folders[next].first;
    const std::wstring folder = folders[next].second;
    for (const FolderEntry& found : FolderEntries(folder)) {
      const std::string entry = relative + "\\" + Ansi(found.name);
      trapfeed::Message message = FileMessage(foRename, from + entry, status);
      message.newPath = to + entry;
      if (found.folder) {
        message.subCode = fsFolderRenamed;
        folders.emplace_back(entry, folder + L"\\" + found.name);
      } else {
        // Moved already: the copy is taken where it is now, under the name it had.
        BackUpBeforeChange(folder + L"\\" + found.name, message.path);
      }
      Emit(message);
    }
  }
}

NTSTATUS NTAPI SetInformationFileHook(HANDLE file, IO_STATUS_BLOCK* io, void* information,
                                      ULONG length, ULONG informationClass) {
  CaptureScope scope;
  auto call = [&] {
    return Real<SetInformationFileCall>(slots[kSetInformationSlot])(file, io, information, length,
                                                                    informationClass);
  };
  if (!scope.active() || information == nullptr) return call();
  if (informationClass == kBasicInformation) {
    // Attributes and times set are no operation of the records, but the copy that an undo
    // puts back must have them as they were.
    const std::wstring nativeName = HandleName(file);
    const std::string path = Win32FilePath(nativeName);
    if (!path.empty() && !HandleIsDirectory(file)) BackUpBeforeChange(nativeName, path);
    return call();
  }
  if (informationClass == kDispositionInformation || informationClass == kDispositionInformationEx) {
    bool deletes = informationClass == kDispositionInformation
                       ? *static_cast<const BOOLEAN*>(information) != 0
                       : (*static_cast<const ULONG*>(information) & 1) != 0;
    const std::wstring nativeName = deletes ? HandleName(file) : std::wstring();
    std::string path = Win32FilePath(nativeName);
    if (path.empty()) return call();
    bool directory = HandleIsDirectory(file);
    if (!directory) BackUpBeforeChange(nativeName, path);
    NTSTATUS status = call();
    SendRemoval(path, directory, status);
    return status;
  }
  if (informationClass == kRenameInformation || informationClass == kRenameInformationEx) {
    std::wstring oldName = HandleName(file);
    std::wstring newName = RenameTarget(information, length, oldName);
    std::string path = Win32FilePath(oldName);
    std::string newPath = Win32FilePath(newName);
    if (path.empty() || newPath.empty()) return call();
    const bool folder = HandleIsDirectory(file);
    // A file renamed over another replaces it (the usual way to replace a file in use): the
    // one that stood there is gone first, so the lists show a change, not an addition.
    bool replaces = false;
    if (!folder && length >= sizeof(ULONG) && RenameReplaces(information, informationClass)) {
      const FileState target = QueryFileState(newName);
      replaces = target.exists && !target.directory;
    }
    // Both names' old contents may be wanted back: the file leaves its name, and the one it
    // replaces is gone.
    if (!folder) BackUpBeforeChange(oldName, path);
    if (replaces) BackUpBeforeChange(newName, newPath);
    NTSTATUS status = call();
    if (replaces && NT_SUCCESS(status)) SendRemoval(newPath, false, status);
    trapfeed::Message message = FileMessage(foRename, path, status);
    message.newPath = newPath;
    if (folder) message.subCode = fsFolderRenamed;
    Emit(message);
    if (folder && NT_SUCCESS(status)) SendMovedEntries(path, newPath, newName, status);
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
