#pragma once
// The operation capture inside a traced process: hooks on ntdll's file and registry calls
// that send one feed message per operation. Loading the capture library installs the hooks;
// the first message the feed refuses (no driver listening any more) takes them all out again.
#include <windows.h>

#include "trapdriver/feed/feed.h"
#include "trapdriver/capture/stubhook.h"

namespace trapcapture {

// One hooked entry point: its ntdll name, the hook, and the way back to the real call.
struct HookSlot {
  const char* name;
  void* hook;
  StubHook installed;
};

// The slots of each part; each part's table lists its hooks.
HookSlot* FileHooks(size_t& count);
HookSlot* RegistryHooks(size_t& count);
HookSlot* ProcessHooks(size_t& count);  // children.cpp

// Held by every hook for the length of the call. Inactive when this thread is already inside
// the capture (the capture's own look-ups, and the feed's, are not operations of the
// program) or when the capture has gone quiet. Keeps the thread's last error as it was.
class CaptureScope {
 public:
  CaptureScope();
  ~CaptureScope();
  CaptureScope(const CaptureScope&) = delete;
  CaptureScope& operator=(const CaptureScope&) = delete;
  bool active() const { return active_; }

 private:
  bool active_ = false, entered_ = false;
  DWORD lastError_;
};

// Sends the message as this process's; on refusal the capture goes quiet for good.
void Emit(trapfeed::Message& message);
// Takes every hook out again.
void GoQuiet();

template <class Call>
Call Real(const HookSlot& slot) {
  return reinterpret_cast<Call>(slot.installed.original);
}

}  // namespace trapcapture
