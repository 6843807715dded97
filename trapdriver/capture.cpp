// The capture library's entry point and what its hooks share.
#include "trapdriver/capture.h"

namespace trapcapture {

namespace {

DWORD guardSlot = TLS_OUT_OF_INDEXES;
volatile LONG quiet = 0;

template <class Visit>
void EachSlot(Visit visit) {
  for (auto table : {&FileHooks, &RegistryHooks}) {
    size_t count = 0;
    HookSlot* slots = table(count);
    for (size_t i = 0; i < count; ++i) visit(slots[i]);
  }
}

void Install() {
  // The hooks point into this library: it must stay loaded whatever the program frees.
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<const char*>(&Install), &self);
  guardSlot = TlsAlloc();
  if (guardSlot == TLS_OUT_OF_INDEXES) return;
  EachSlot([](HookSlot& slot) { HookStub(slot.name, slot.hook, slot.installed); });
}

void GoQuiet() {
  if (InterlockedExchange(&quiet, 1) != 0) return;
  EachSlot([](HookSlot& slot) { UnhookStub(slot.installed); });
}

}  // namespace

CaptureScope::CaptureScope() : lastError_(GetLastError()) {
  if (quiet || guardSlot == TLS_OUT_OF_INDEXES || TlsGetValue(guardSlot) != nullptr) return;
  TlsSetValue(guardSlot, reinterpret_cast<void*>(1));
  entered_ = active_ = true;
}

CaptureScope::~CaptureScope() {
  if (entered_) TlsSetValue(guardSlot, nullptr);
  SetLastError(lastError_);
}

void Emit(trapfeed::Message& message) {
  message.processId = GetCurrentProcessId();
  if (!trapfeed::Send(message)) GoQuiet();
}

}  // namespace trapcapture

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    trapcapture::Install();
  }
  return TRUE;
}
