// Programs that a traced process starts: each is created suspended, the capture is made to
// load at its entry point (after the loader, before any of the program's own code, its C
// runtime's start-up included), and only then does it run. Its stop event is made here,
// before it runs, so the driver, which may see the new process at once, knows that it is
// traced from its start.
#include <windows.h>
#include <winternl.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "trapdriver/capture/capture.h"
#include "trapdriver/feed/feed.h"

namespace trapcapture {
namespace {

constexpr ULONG kCreateSuspended = 0x1;  // the thread flag of NtCreateUserProcess
constexpr size_t kImageBaseInPeb = 8;
constexpr size_t kEntryBytes = 5;        // a jump

using CreateUserProcessCall = NTSTATUS(NTAPI*)(HANDLE*, HANDLE*, ACCESS_MASK, ACCESS_MASK, void*,
                                               void*, ULONG, ULONG, void*, void*, void*);
NTSTATUS NTAPI CreateUserProcessHook(HANDLE*, HANDLE*, ACCESS_MASK, ACCESS_MASK, void*, void*,
                                     ULONG, ULONG, void*, void*, void*);

HookSlot slots[] = {
    {"NtCreateUserProcess", reinterpret_cast<void*>(&CreateUserProcessHook), {}},
};

std::wstring OwnPath() {
  HMODULE self = nullptr;
  wchar_t path[MAX_PATH] = {};
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<const wchar_t*>(&OwnPath), &self);
  GetModuleFileNameW(self, path, MAX_PATH);
  return path;
}

bool ReadRemote(HANDLE process, uintptr_t address, void* out, size_t size) {
  SIZE_T read = 0;
  return ReadProcessMemory(process, reinterpret_cast<const void*>(address), out, size, &read) &&
         read == size;
}

// Where the new process's program starts; 0 when that cannot be read.
uintptr_t EntryPoint(HANDLE process) {
  PROCESS_BASIC_INFORMATION basic{};
  ULONG length = 0;
  uint32_t base = 0;
  IMAGE_DOS_HEADER dos{};
  IMAGE_NT_HEADERS32 headers{};
  if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic,
                                &length) != 0 ||
      !ReadRemote(process, reinterpret_cast<uintptr_t>(basic.PebBaseAddress) + kImageBaseInPeb,
                  &base, 4) ||
      !ReadRemote(process, base, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
      !ReadRemote(process, base + dos.e_lfanew, &headers, sizeof headers) ||
      headers.Signature != IMAGE_NT_SIGNATURE || headers.OptionalHeader.AddressOfEntryPoint == 0)
    return 0;
  return base + headers.OptionalHeader.AddressOfEntryPoint;
}

void Put(std::vector<unsigned char>& code, uint32_t value) {
  unsigned char bytes[4];
  std::memcpy(bytes, &value, 4);
  code.insert(code.end(), bytes, bytes + 4);
}

// The page put into the new process: code, then the entry's own first bytes, the loaded
// module's handle, the library's name as a UNICODE_STRING and its characters.
constexpr uint32_t kSavedAt = 96, kHandleAt = 104, kNameAt = 112, kCharactersAt = 128;

// pushad; pushfd; LdrLoadDll(0, 0, &name, &handle) (ntdll lies at the same address in every
// process); the entry's bytes put back; popfd; popad; on to the entry.
std::vector<unsigned char> EntryStub(uint32_t page, uint32_t entry, const unsigned char* saved,
                                     const std::wstring& path) {
  static const uint32_t loadDll = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "LdrLoadDll")));
  std::vector<unsigned char> code{0x60, 0x9C, 0x68};
  Put(code, page + kHandleAt);
  code.push_back(0x68);
  Put(code, page + kNameAt);
  code.insert(code.end(), {0x6A, 0x00, 0x6A, 0x00, 0xB8});
  Put(code, loadDll);
  code.insert(code.end(), {0xFF, 0xD0, 0xBE});  // call eax; mov esi, saved
  Put(code, page + kSavedAt);
  code.push_back(0xBF);  // mov edi, entry
  Put(code, entry);
  code.push_back(0xB9);  // mov ecx, count
  Put(code, kEntryBytes);
  code.insert(code.end(), {0xF3, 0xA4, 0x9D, 0x61, 0x68});  // rep movsb; popfd; popad; push
  Put(code, entry);
  code.push_back(0xC3);
  code.resize(kSavedAt, 0xCC);
  code.insert(code.end(), saved, saved + kEntryBytes);
  code.resize(kNameAt, 0);
  const uint16_t bytes = static_cast<uint16_t>(path.size() * sizeof(wchar_t));
  code.insert(code.end(), {static_cast<unsigned char>(bytes), static_cast<unsigned char>(bytes >> 8),
                           static_cast<unsigned char>(bytes + 2),
                           static_cast<unsigned char>((bytes + 2) >> 8)});
  Put(code, page + kCharactersAt);
  code.resize(kCharactersAt, 0);
  const auto* characters = reinterpret_cast<const unsigned char*>(path.c_str());
  code.insert(code.end(), characters, characters + bytes + sizeof(wchar_t));
  return code;
}

// Makes the new process load the capture when it reaches its entry point.
bool LoadAtEntry(HANDLE process) {
  static const std::wstring path = OwnPath();
  const uintptr_t entry = EntryPoint(process);
  unsigned char saved[kEntryBytes];
  if (entry == 0 || !ReadRemote(process, entry, saved, sizeof saved)) return false;
  auto* page = static_cast<unsigned char*>(
      VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
  if (page == nullptr) return false;
  const auto at = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(page));
  const std::vector<unsigned char> stub = EntryStub(at, static_cast<uint32_t>(entry), saved, path);
  unsigned char jump[kEntryBytes] = {0xE9};
  const int32_t distance = static_cast<int32_t>(at - (entry + kEntryBytes));
  std::memcpy(jump + 1, &distance, 4);
  DWORD old = 0;
  // The entry stays writable: the stub puts its bytes back.
  if (stub.size() > 4096 || !WriteProcessMemory(process, page, stub.data(), stub.size(), nullptr) ||
      !VirtualProtectEx(process, reinterpret_cast<void*>(entry), kEntryBytes,
                        PAGE_EXECUTE_READWRITE, &old) ||
      !WriteProcessMemory(process, reinterpret_cast<void*>(entry), jump, sizeof jump, nullptr)) {
    VirtualFreeEx(process, page, 0, MEM_RELEASE);
    return false;
  }
  FlushInstructionCache(process, reinterpret_cast<void*>(entry), kEntryBytes);
  return true;
}

// The child's stop event, made now and handed to the child: its name lives as long as the
// child, whose capture opens it again by name.
void GiveStopEvent(HANDLE process) {
  HANDLE stop = CreateEventA(nullptr, TRUE, FALSE,
                             trapfeed::StopEventName(GetProcessId(process)).c_str());
  HANDLE given = nullptr;
  if (stop)
    DuplicateHandle(GetCurrentProcess(), stop, process, &given, 0, FALSE,
                    DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE);
}

NTSTATUS NTAPI CreateUserProcessHook(HANDLE* process, HANDLE* thread, ACCESS_MASK processAccess,
                                     ACCESS_MASK threadAccess, void* processAttributes,
                                     void* threadAttributes, ULONG processFlags,
                                     ULONG threadFlags, void* parameters, void* createInfo,
                                     void* attributes) {
  CaptureScope scope;
  const auto real = Real<CreateUserProcessCall>(slots[0]);
  // A debugged process's children are debugged too, and the debugger (the launcher) puts
  // the capture into them at their loader breakpoint.
  if (!scope.active() || IsDebuggerPresent())
    return real(process, thread, processAccess, threadAccess, processAttributes, threadAttributes,
                processFlags, threadFlags, parameters, createInfo, attributes);
  NTSTATUS status = real(process, thread, processAccess, threadAccess, processAttributes,
                         threadAttributes, processFlags, threadFlags | kCreateSuspended,
                         parameters, createInfo, attributes);
  if (status != 0) return status;
  if (LoadAtEntry(*process)) GiveStopEvent(*process);
  if (!(threadFlags & kCreateSuspended)) ResumeThread(*thread);
  return status;
}

}  // namespace

HookSlot* ProcessHooks(size_t& count) {
  count = sizeof slots / sizeof slots[0];
  return slots;
}

}  // namespace trapcapture
