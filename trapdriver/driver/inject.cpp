#include "trapdriver/driver/inject.h"

#include <psapi.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "trapdriver/feed/feed.h"

namespace trapdriver {

namespace {

// LoadLibraryA in the other process: kernel32 is the same file there, so the same offset
// from wherever it was loaded; 0 while it has none.
uintptr_t RemoteLoadLibrary(HANDLE process) {
  HMODULE ownKernel = GetModuleHandleA("kernel32.dll");
  auto own = reinterpret_cast<uintptr_t>(GetProcAddress(ownKernel, "LoadLibraryA"));
  uintptr_t offset = own - reinterpret_cast<uintptr_t>(ownKernel);
  HMODULE modules[256];
  DWORD bytes = 0;
  if (EnumProcessModules(process, modules, sizeof modules, &bytes)) {
    for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < 256; ++i) {
      char name[MAX_PATH];
      if (GetModuleBaseNameA(process, modules[i], name, sizeof name) &&
          lstrcmpiA(name, "kernel32.dll") == 0)
        return reinterpret_cast<uintptr_t>(modules[i]) + offset;
    }
  }
  // Not loaded yet: the process has not reached its loader breakpoint.
  return 0;
}

void Put(std::vector<unsigned char>& code, uint32_t value) {
  unsigned char bytes[4];
  std::memcpy(bytes, &value, 4);
  code.insert(code.end(), bytes, bytes + 4);
}

// pushad; pushfd; push path; mov eax, LoadLibraryA; call eax; popfd; popad; push eip; ret
std::vector<unsigned char> LoaderStub(uint32_t pathAddress, uint32_t loadLibrary, uint32_t resume) {
  std::vector<unsigned char> code{0x60, 0x9C, 0x68};
  Put(code, pathAddress);
  code.push_back(0xB8);
  Put(code, loadLibrary);
  code.insert(code.end(), {0xFF, 0xD0, 0x9D, 0x61, 0x68});
  Put(code, resume);
  code.push_back(0xC3);
  return code;
}

}  // namespace

bool InjectLibrary(HANDLE process, HANDLE thread, const std::string& libraryPath) {
  CONTEXT context{};
  context.ContextFlags = CONTEXT_CONTROL;
  if (!GetThreadContext(thread, &context)) return false;
  uintptr_t loadLibrary = RemoteLoadLibrary(process);
  if (loadLibrary == 0) return false;

  // One page, left in the process: the stub runs after this call has returned.
  auto* page = static_cast<unsigned char*>(VirtualAllocEx(
      process, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
  if (page == nullptr) return false;
  constexpr uint32_t kPathOffset = 64;
  std::vector<unsigned char> image = LoaderStub(
      static_cast<uint32_t>(reinterpret_cast<uintptr_t>(page) + kPathOffset),
      static_cast<uint32_t>(loadLibrary), static_cast<uint32_t>(context.Eip));
  image.resize(kPathOffset, 0xCC);
  image.insert(image.end(), libraryPath.begin(), libraryPath.end());
  image.push_back(0);
  if (image.size() > 4096 ||
      !WriteProcessMemory(process, page, image.data(), image.size(), nullptr)) {
    VirtualFreeEx(process, page, 0, MEM_RELEASE);
    return false;
  }
  FlushInstructionCache(process, page, image.size());
  context.Eip = static_cast<DWORD>(reinterpret_cast<uintptr_t>(page));
  if (!SetThreadContext(thread, &context)) {
    VirtualFreeEx(process, page, 0, MEM_RELEASE);
    return false;
  }
  return true;
}

void StopCapture(DWORD processId) {
  HANDLE stop = OpenEventA(EVENT_MODIFY_STATE, FALSE, trapfeed::StopEventName(processId).c_str());
  if (stop == nullptr) return;
  SetEvent(stop);
  CloseHandle(stop);
}

}  // namespace trapdriver
