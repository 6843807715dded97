// The capture library's entry point and what its hooks share.
#include "trapdriver/capture/capture.h"

#include <cstring>

#include "trapdriver/capture/keynames.h"

namespace trapcapture {

namespace {

DWORD guardSlot = TLS_OUT_OF_INDEXES;
volatile LONG quiet = 0;
HANDLE stopEvent = nullptr;  // set by the driver when tracking stops
volatile DWORD lastStopCheck = 0;

// Looks at the stop event at most every kStopCheckMs of sending (each look is a call into
// the system): a process that was idle when tracking stopped looks before its first message
// after that.
constexpr DWORD kStopCheckMs = 100;
bool TrackingStopped() {
  DWORD now = GetTickCount();
  if (now - lastStopCheck < kStopCheckMs) return false;
  lastStopCheck = now;
  return stopEvent != nullptr && WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0;
}

template <class Visit>
void EachSlot(Visit visit) {
  for (auto table : {&FileHooks, &RegistryHooks, &ProcessHooks}) {
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
  stopEvent = CreateEventA(nullptr, TRUE, FALSE, trapfeed::StopEventName(GetCurrentProcessId()).c_str());
  guardSlot = TlsAlloc();
  if (guardSlot == TLS_OUT_OF_INDEXES) return;
  EachSlot([](HookSlot& slot) { HookStub(slot.name, slot.hook, slot.installed); });
  KeepKeyNames(true);  // every close is seen from now on
}

}  // namespace

// Tracing starts again in a process that outlived an earlier session: the hooks go back
// in, and the messages go to `feed` (the name of the driver's feed, which a process that was
// already running when tracking started does not have in its environment).
bool Arm(const char* feed) {
  if (guardSlot == TLS_OUT_OF_INDEXES || stopEvent == nullptr) return false;
  if (feed != nullptr && *feed != '\0') SetEnvironmentVariableA(trapfeed::kFeedVariable, feed);
  ResetEvent(stopEvent);
  lastStopCheck = GetTickCount() - kStopCheckMs;
  if (InterlockedCompareExchange(&quiet, 0, 0) != 0) {
    EachSlot([](HookSlot& slot) { HookStub(slot.name, slot.hook, slot.installed); });
    KeepKeyNames(true);
    InterlockedExchange(&quiet, 0);
  }
  return true;
}

void GoQuiet() {
  if (InterlockedExchange(&quiet, 1) != 0) return;
  KeepKeyNames(false);  // closes go unseen from now on
  EachSlot([](HookSlot& slot) { UnhookStub(slot.installed); });
}

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
  if (TrackingStopped()) {
    GoQuiet();
    return;
  }
  // The ANSI file calls convert names into one buffer of the thread's own; the program may be
  // in the middle of using it (RegCreateKeyExA walks its key path there), so whatever the
  // feed calls must leave it as it was.
  constexpr size_t kStaticUnicodeOffset = 0xBF8, kStaticUnicodeBytes = 8 + 261 * sizeof(WCHAR);
  unsigned char* teb = nullptr;
  __asm__("movl %%fs:0x18, %0" : "=r"(teb));
  unsigned char* staticUnicode = teb + kStaticUnicodeOffset;
  unsigned char saved[kStaticUnicodeBytes];
  std::memcpy(saved, staticUnicode, sizeof saved);
  message.processId = GetCurrentProcessId();
  bool sent = trapfeed::Send(message);
  std::memcpy(staticUnicode, saved, sizeof saved);
  if (!sent) GoQuiet();
}

}  // namespace trapcapture

// Called by the driver on a thread of its own, once the library is loaded: 1 when the
// capture is tracing.
extern "C" __declspec(dllexport) DWORD WINAPI VortCapArm(const char* feed) {
  return trapcapture::Arm(feed) ? 1 : 0;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    trapcapture::Install();
  } else if (reason == DLL_PROCESS_DETACH) {
    // The feed's own objects go with this library's runtime: the calls made while the rest
    // of the process shuts down pass untouched.
    trapcapture::GoQuiet();
  }
  return TRUE;
}
