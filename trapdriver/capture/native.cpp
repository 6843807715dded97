#include "trapdriver/capture/native.h"

#include <vector>

#include "trapdriver/capture/names.h"

namespace trapcapture {

namespace {

constexpr ULONG kObjectNameInformation = 1;
constexpr ULONG kFileStandardInformation = 5;
constexpr ULONG kKeyNameInformation = 3;
constexpr ULONG kKeyValueFullInformation = 1, kKeyValuePartialInformation = 2;
constexpr NTSTATUS kNoMoreEntries = static_cast<NTSTATUS>(0x8000001A);
constexpr NTSTATUS kBufferOverflow = static_cast<NTSTATUS>(0x80000005);
constexpr NTSTATUS kBufferTooSmall = static_cast<NTSTATUS>(0xC0000023);

using QueryObjectCall = NTSTATUS(NTAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
using QueryFullAttributesCall = NTSTATUS(NTAPI*)(OBJECT_ATTRIBUTES*, FILE_NETWORK_OPEN_INFORMATION*);
using QueryInformationFileCall = NTSTATUS(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, ULONG);
using QueryKeyCall = NTSTATUS(NTAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
using QueryValueKeyCall = NTSTATUS(NTAPI*)(HANDLE, const UNICODE_STRING*, ULONG, void*, ULONG, ULONG*);
using EnumerateValueKeyCall = NTSTATUS(NTAPI*)(HANDLE, ULONG, ULONG, void*, ULONG, ULONG*);
using OpenKeyCall = NTSTATUS(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*);
using CloseCall = NTSTATUS(NTAPI*)(HANDLE);
using OpenFileCall = NTSTATUS(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*,
                                      ULONG, ULONG);
using QueryDirectoryCall = NTSTATUS(NTAPI*)(HANDLE, HANDLE, void*, void*, IO_STATUS_BLOCK*, void*,
                                            ULONG, ULONG, BOOLEAN, UNICODE_STRING*, BOOLEAN);
constexpr ULONG kFileDirectoryInformation = 1;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ULONG kOpenFolder = 0x1 | 0x20 | 0x4000;  // a directory, synchronous, for backup

template <class Call>
Call Ntdll(const char* name) {
  return reinterpret_cast<Call>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), name)));
}

// Asks a query that answers into a buffer, growing the buffer when told it is too small.
// Answers the query's last status.
template <class Query>
NTSTATUS AskGrowing(std::vector<unsigned char>& buffer, Query query) {
  buffer.resize(512);
  NTSTATUS status = kBufferTooSmall;
  for (int attempt = 0; attempt < 4; ++attempt) {
    ULONG needed = 0;
    status = query(buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status != kBufferOverflow && status != kBufferTooSmall) return status;
    buffer.resize(needed > buffer.size() ? needed + 2 : buffer.size() * 2);
  }
  return status;
}

struct KeyNameInformation {
  ULONG length;
  WCHAR name[1];
};

struct ValuePartialInformation {
  ULONG titleIndex, type, length;
  UCHAR data[1];
};

struct ValueFullInformation {
  ULONG titleIndex, type, dataOffset, dataLength, nameLength;
  WCHAR name[1];
};

struct DirectoryInformation {
  ULONG next, fileIndex;
  LARGE_INTEGER created, accessed, written, changed, endOfFile, allocated;
  ULONG attributes, nameLength;
  WCHAR name[1];
};

struct StandardInformation {
  LARGE_INTEGER allocationSize, endOfFile;
  ULONG links;
  BOOLEAN deletePending, directory;
};

// A native name and the attributes that name it, without regard to case. The attributes
// point at the name, so neither is copied.
struct NamedObject {
  explicit NamedObject(const std::wstring& nativeName) {
    name.Buffer = const_cast<WCHAR*>(nativeName.c_str());
    name.Length = name.MaximumLength = static_cast<USHORT>(nativeName.size() * sizeof(WCHAR));
    attributes.Length = sizeof attributes;
    attributes.ObjectName = &name;
    attributes.Attributes = OBJ_CASE_INSENSITIVE;
  }
  NamedObject(const NamedObject&) = delete;
  NamedObject& operator=(const NamedObject&) = delete;

  UNICODE_STRING name{};
  OBJECT_ATTRIBUTES attributes{};
};

}  // namespace

std::wstring UnicodeText(const UNICODE_STRING* text) {
  if (text == nullptr || text->Buffer == nullptr) return {};
  return std::wstring(text->Buffer, text->Length / sizeof(WCHAR));
}

std::wstring HandleName(HANDLE handle) {
  static auto query = Ntdll<QueryObjectCall>("NtQueryObject");
  std::vector<unsigned char> buffer;
  if (!NT_SUCCESS(AskGrowing(buffer, [&](void* into, ULONG size, ULONG* needed) {
        return query(handle, kObjectNameInformation, into, size, needed);
      })))
    return {};
  return UnicodeText(&reinterpret_cast<OBJECT_NAME_INFORMATION*>(buffer.data())->Name);
}

std::wstring AttributesName(const OBJECT_ATTRIBUTES* attributes) {
  if (attributes == nullptr) return {};
  std::wstring name = UnicodeText(attributes->ObjectName);
  if (attributes->RootDirectory == nullptr) return name;
  return JoinNative(HandleName(attributes->RootDirectory), name);
}

FileState QueryFileState(OBJECT_ATTRIBUTES* attributes) {
  static auto query = Ntdll<QueryFullAttributesCall>("NtQueryFullAttributesFile");
  FILE_NETWORK_OPEN_INFORMATION information{};
  FileState state;
  if (!NT_SUCCESS(query(attributes, &information))) return state;
  state.exists = true;
  state.directory = (information.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  state.size = static_cast<uint64_t>(information.EndOfFile.QuadPart);
  state.writeTime = static_cast<uint64_t>(information.LastWriteTime.QuadPart);
  return state;
}

FileState QueryFileState(const std::wstring& nativeName) {
  NamedObject object(nativeName);
  return QueryFileState(&object.attributes);
}

bool HandleIsDirectory(HANDLE file) {
  static auto query = Ntdll<QueryInformationFileCall>("NtQueryInformationFile");
  IO_STATUS_BLOCK io{};
  StandardInformation information{};
  if (NT_SUCCESS(query(file, &io, &information, sizeof information, kFileStandardInformation)))
    return information.directory != 0;
  return false;
}

std::vector<FolderEntry> FolderEntries(const std::wstring& nativeFolder) {
  // Both are hooked: from inside the capture the calls pass straight through.
  static auto open = Ntdll<OpenFileCall>("NtOpenFile");
  static auto query = Ntdll<QueryDirectoryCall>("NtQueryDirectoryFile");
  static auto close = Ntdll<CloseCall>("NtClose");
  std::vector<FolderEntry> entries;
  NamedObject object(nativeFolder);
  HANDLE folder = nullptr;
  IO_STATUS_BLOCK io{};
  if (!NT_SUCCESS(open(&folder, FILE_LIST_DIRECTORY | SYNCHRONIZE, &object.attributes, &io, kShareAll,
                       kOpenFolder)))
    return entries;
  std::vector<unsigned char> buffer(16 * 1024);
  for (BOOLEAN restart = TRUE;; restart = FALSE) {
    if (!NT_SUCCESS(query(folder, nullptr, nullptr, nullptr, &io, buffer.data(),
                          static_cast<ULONG>(buffer.size()), kFileDirectoryInformation, FALSE,
                          nullptr, restart)))
      break;
    for (size_t offset = 0;;) {
      auto* information = reinterpret_cast<const DirectoryInformation*>(buffer.data() + offset);
      std::wstring entry(information->name, information->nameLength / sizeof(WCHAR));
      if (entry != L"." && entry != L"..")
        entries.push_back({entry, (information->attributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
      if (information->next == 0) break;
      offset += information->next;
    }
  }
  close(folder);
  return entries;
}

std::wstring KeyName(HANDLE key) {
  static auto query = Ntdll<QueryKeyCall>("NtQueryKey");
  std::vector<unsigned char> buffer;
  if (!NT_SUCCESS(AskGrowing(buffer, [&](void* into, ULONG size, ULONG* needed) {
        return query(key, kKeyNameInformation, into, size, needed);
      })))
    return {};
  auto* information = reinterpret_cast<KeyNameInformation*>(buffer.data());
  return std::wstring(information->name, information->length / sizeof(WCHAR));
}

// Asks through the key's handle, and when that handle may only write or delete, through one
// of our own opened for reading.
template <class Ask>
NTSTATUS AskReading(HANDLE key, Ask ask) {
  static auto openKey = Ntdll<OpenKeyCall>("NtOpenKey");
  static auto close = Ntdll<CloseCall>("NtClose");
  NTSTATUS status = ask(key);
  if (status != kStatusAccessDenied) return status;
  UNICODE_STRING emptyName{};
  OBJECT_ATTRIBUTES attributes{};
  attributes.Length = sizeof attributes;
  attributes.RootDirectory = key;
  attributes.ObjectName = &emptyName;
  HANDLE reader = nullptr;
  if (NT_SUCCESS(openKey(&reader, KEY_QUERY_VALUE, &attributes))) {
    status = ask(reader);
    close(reader);
  }
  return status;
}

std::vector<NamedValue> KeyValues(HANDLE key) {
  static auto enumerate = Ntdll<EnumerateValueKeyCall>("NtEnumerateValueKey");
  std::vector<NamedValue> values;
  std::vector<unsigned char> buffer;
  AskReading(key, [&](HANDLE from) {
    values.clear();
    for (ULONG index = 0;; ++index) {
      NTSTATUS status = AskGrowing(buffer, [&](void* into, ULONG size, ULONG* needed) {
        return enumerate(from, index, kKeyValueFullInformation, into, size, needed);
      });
      if (status == kNoMoreEntries) return static_cast<NTSTATUS>(0);
      if (!NT_SUCCESS(status)) return status;
      auto* information = reinterpret_cast<const ValueFullInformation*>(buffer.data());
      if (information->dataOffset + information->dataLength > buffer.size()) continue;
      NamedValue value;
      value.name.assign(information->name, information->nameLength / sizeof(WCHAR));
      value.state.exists = true;
      value.state.type = information->type;
      value.state.data.assign(reinterpret_cast<const char*>(buffer.data()) + information->dataOffset,
                              information->dataLength);
      values.push_back(std::move(value));
    }
  });
  return values;
}

ValueState QueryValue(HANDLE key, const UNICODE_STRING* name) {
  static auto query = Ntdll<QueryValueKeyCall>("NtQueryValueKey");
  UNICODE_STRING emptyName{};
  if (name == nullptr) name = &emptyName;
  std::vector<unsigned char> buffer;
  ValueState state;
  NTSTATUS status = AskReading(key, [&](HANDLE from) {
    return AskGrowing(buffer, [&](void* into, ULONG size, ULONG* needed) {
      return query(from, name, kKeyValuePartialInformation, into, size, needed);
    });
  });
  if (!NT_SUCCESS(status)) return state;
  auto* information = reinterpret_cast<ValuePartialInformation*>(buffer.data());
  state.exists = true;
  state.type = information->type;
  state.data.assign(reinterpret_cast<const char*>(information->data), information->length);
  return state;
}

}  // namespace trapcapture
