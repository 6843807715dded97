#pragma once
// The names of the key handles the program writes through, asked of the system once per
// handle instead of once per write. A name is kept until its handle is closed (NtClose, or a
// duplication that closes its source). A key renamed or deleted changes or ends the names of
// the handles to it and to every key below it, in whichever process holds them: every
// traced process then asks again (a count the capture in each process shares).
#include <windows.h>

#include <string>

namespace trapcapture {

// The key's native name ("\REGISTRY\Machine\..."), or "" (as KeyName).
std::wstring CachedKeyName(HANDLE key);
// Before the handle is closed.
void ForgetKeyName(HANDLE key);
// A key was renamed or deleted.
void KeyNamesChanged();
// Names are kept only while every hook is in (a close the hooks do not see would leave a
// name for a handle number the system hands out again): on when the hooks are in, off
// (and every name forgotten) before they come out.
void KeepKeyNames(bool keep);

}  // namespace trapcapture
