#include "trapdriver/capture/stubhook.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

namespace trapcapture {

namespace {

constexpr unsigned char kMovEax = 0xB8;
constexpr unsigned char kJump = 0xE9;
constexpr size_t kTrampolineSize = 16;

// Trampolines come from one executable page; hooks are few and never freed.
unsigned char* NewTrampoline() {
  static unsigned char* page = nullptr;
  static size_t used = 0;
  if (page == nullptr || used + kTrampolineSize > 4096) {
    page = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
    used = 0;
    if (page == nullptr) return nullptr;
  }
  unsigned char* slot = page + used;
  used += kTrampolineSize;
  return slot;
}

// A jump written into `at`, to run from `runsAt`.
void WriteJump(unsigned char* at, const unsigned char* runsAt, const void* target) {
  at[0] = kJump;
  int32_t distance = static_cast<int32_t>(reinterpret_cast<uintptr_t>(target) -
                                          reinterpret_cast<uintptr_t>(runsAt + 5));
  std::memcpy(at + 1, &distance, 4);
}

// Replaces the stub's first 8 bytes in one locked write where it is aligned, so a thread
// running through the stub meanwhile sees either the old or the new code.
void WriteStub(unsigned char* stub, const unsigned char (&bytes)[8]) {
  DWORD oldProtection = 0;
  if (!VirtualProtect(stub, 8, PAGE_EXECUTE_READWRITE, &oldProtection)) return;
  if (reinterpret_cast<uintptr_t>(stub) % 8 == 0) {
    int64_t wanted, current;
    std::memcpy(&wanted, bytes, 8);
    auto* target = reinterpret_cast<volatile int64_t*>(stub);
    do {
      current = *target;
    } while (__sync_val_compare_and_swap(target, current, wanted) != current);
  } else {
    std::memcpy(stub, bytes, 8);
  }
  VirtualProtect(stub, 8, oldProtection, &oldProtection);
  FlushInstructionCache(GetCurrentProcess(), stub, 8);
}

}  // namespace

bool HookStub(const char* name, void* hook, StubHook& result) {
  auto* stub = reinterpret_cast<unsigned char*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), name));
  if (stub == nullptr || stub[0] != kMovEax) return false;
  unsigned char* trampoline = NewTrampoline();
  if (trampoline == nullptr) return false;
  std::memcpy(trampoline, stub, 5);
  WriteJump(trampoline + 5, trampoline + 5, stub + 5);

  result.stub = stub;
  std::memcpy(result.saved, stub, 8);
  result.original = trampoline;
  unsigned char patched[8];
  std::memcpy(patched, stub, 8);
  WriteJump(patched, stub, hook);
  WriteStub(stub, patched);
  return true;
}

void UnhookStub(StubHook& hook) {
  if (hook.stub == nullptr) return;
  WriteStub(hook.stub, hook.saved);
  hook.stub = nullptr;
}

}  // namespace trapcapture
