#include "trapdriver/driver/inject.h"

#include <psapi.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "trapdriver/feed/feed.h"

namespace trapdriver {

namespace {

// Where kernel32 is loaded in the other process; 0 while it has none (the process has not
// reached its loader breakpoint). Asking for the module list costs a read of the other
// process's memory per entry and more per name, so the place kernel32 has here, where the
// system mostly loads it in every process, is asked for first, by its name.
uintptr_t RemoteKernel(HANDLE process) {
  HMODULE ownKernel = GetModuleHandleA("kernel32.dll");
  char name[MAX_PATH];
  if (GetModuleBaseNameA(process, ownKernel, name, sizeof name) &&
      lstrcmpiA(name, "kernel32.dll") == 0)
    return reinterpret_cast<uintptr_t>(ownKernel);
  HMODULE modules[256];
  DWORD bytes = 0;
  if (EnumProcessModules(process, modules, sizeof modules, &bytes)) {
    for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < 256; ++i) {
      if (GetModuleBaseNameA(process, modules[i], name, sizeof name) &&
          lstrcmpiA(name, "kernel32.dll") == 0)
        return reinterpret_cast<uintptr_t>(modules[i]);
    }
  }
  return 0;
}

// An export of kernel32 in the other process: kernel32 is the same file there, so the same
// offset from wherever it was loaded; 0 while it has none.
uintptr_t RemoteKernelFunction(uintptr_t remoteKernel, const char* function) {
  if (remoteKernel == 0) return 0;
  HMODULE ownKernel = GetModuleHandleA("kernel32.dll");
  auto own = reinterpret_cast<uintptr_t>(GetProcAddress(ownKernel, function));
  return remoteKernel + (own - reinterpret_cast<uintptr_t>(ownKernel));
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

// The page of a running process's arming thread: the code, then the export's name, the
// feed's name and the library's path.
constexpr uint32_t kExportAt = 64, kFeedAt = 80, kPathAt = 256;

// A thread's start: LoadLibraryA(path), GetProcAddress(it, "VortCapArm"), and that called
// with the feed's name; the thread's exit code is its answer, 0 when a step failed.
std::vector<unsigned char> ArmingStub(uint32_t page, uint32_t loadLibrary,
                                      uint32_t getProcAddress) {
  std::vector<unsigned char> code{0x68};  // push path
  Put(code, page + kPathAt);
  code.push_back(0xB8);  // mov eax, LoadLibraryA
  Put(code, loadLibrary);
  code.insert(code.end(), {0xFF, 0xD0, 0x85, 0xC0, 0x74, 0x1B});  // call; test; jz fail
  code.push_back(0x68);  // push the export's name
  Put(code, page + kExportAt);
  code.push_back(0x50);  // push the module
  code.push_back(0xB8);  // mov eax, GetProcAddress
  Put(code, getProcAddress);
  code.insert(code.end(), {0xFF, 0xD0, 0x85, 0xC0, 0x74, 0x0A});  // call; test; jz fail
  code.push_back(0x68);  // push the feed's name
  Put(code, page + kFeedAt);
  code.insert(code.end(), {0xFF, 0xD0, 0xC2, 0x04, 0x00});  // call eax; ret 4
  code.insert(code.end(), {0x31, 0xC0, 0xC2, 0x04, 0x00});  // fail: xor eax, eax; ret 4
  return code;
}

}  // namespace

HANDLE ArmRunningProcess(DWORD processId, const std::string& libraryPath,
                         const std::string& feedName, DWORD& error) {
  HANDLE process = OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION |
                                   PROCESS_VM_OPERATION | PROCESS_VM_WRITE | PROCESS_VM_READ,
                               FALSE, processId);
  if (process == nullptr) {
    error = GetLastError();
    return nullptr;
  }
  HANDLE thread = nullptr;
  const uintptr_t kernel = RemoteKernel(process);
  const uintptr_t loadLibrary = RemoteKernelFunction(kernel, "LoadLibraryA");
  const uintptr_t getProcAddress = RemoteKernelFunction(kernel, "GetProcAddress");
  auto* page = loadLibrary == 0 ? nullptr
                                : VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT | MEM_RESERVE,
                                                 PAGE_EXECUTE_READWRITE);
  error = page == nullptr ? ERROR_MOD_NOT_FOUND : 0;
  if (page != nullptr) {
    const auto at = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(page));
    std::vector<unsigned char> image = ArmingStub(at, static_cast<uint32_t>(loadLibrary),
                                                  static_cast<uint32_t>(getProcAddress));
    auto place = [&](uint32_t offset, const std::string& text) {
      image.resize(offset, 0);
      image.insert(image.end(), text.begin(), text.end());
      image.push_back(0);
    };
    place(kExportAt, "VortCapArm");
    place(kFeedAt, feedName.substr(0, kPathAt - kFeedAt - 1));
    place(kPathAt, libraryPath);
    if (image.size() <= 4096 && WriteProcessMemory(process, page, image.data(), image.size(), nullptr)) {
      FlushInstructionCache(process, page, image.size());
      thread = CreateRemoteThread(process, nullptr, 0,
                                  reinterpret_cast<LPTHREAD_START_ROUTINE>(page), nullptr, 0,
                                  nullptr);
    }
    // The page stays while the thread may run; a failed start leaves it too (4 KB).
    if (thread == nullptr) error = GetLastError();
  }
  CloseHandle(process);
  return thread;
}

bool InjectLibrary(HANDLE process, HANDLE thread, const std::string& libraryPath) {
  CONTEXT context{};
  context.ContextFlags = CONTEXT_CONTROL;
  if (!GetThreadContext(thread, &context)) return false;
  uintptr_t loadLibrary = RemoteKernelFunction(RemoteKernel(process), "LoadLibraryA");
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
