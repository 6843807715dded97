#pragma once
// Hooks on ntdll's system-call stubs. Every Nt* entry point of Wine's 32-bit ntdll starts with
// `mov eax, <call number>` (5 bytes); that instruction is replaced by a jump to the hook, and
// the hook reaches the real call through a trampoline holding the same `mov` and a jump back
// behind it. Hooking the stubs themselves catches every caller: import tables, addresses
// looked up at run time, and ntdll's own Rtl* helpers.

namespace trapcapture {

struct StubHook {
  unsigned char* stub = nullptr;
  unsigned char saved[8] = {};
  void* original = nullptr;  // the trampoline: call this for the real operation
};

// Hooks ntdll's export `name`; false (and nothing changed) when it is missing or does not
// start as expected.
bool HookStub(const char* name, void* hook, StubHook& result);
// Puts the stub back as it was. The trampoline stays valid for calls still under way.
void UnhookStub(StubHook& hook);

}  // namespace trapcapture
