#pragma once
// The names of the key handles the program writes through, asked of the system once per
// handle instead of once per write. A name is kept until its handle is closed (NtClose, or a
// duplication that closes its source). A key renamed or deleted changes or ends the names of
// the handles to it and to every key below it, in whichever process holds them: every
// traced process then asks again (a count the capture in each process shares).
//
// It also keeps what the old values of a write need: a key this process made holds only what
// traced programs have set in it since. So long as no other traced program has set or
// deleted a value anywhere since the key was made (a second count they share), a name this
// process has not yet written there has no value to copy, and its first write needs no
// question to the system (under Wine a round trip to the server; installs set most of their
// values in keys they make).
#include <windows.h>
#include <winternl.h>

#include <string>

namespace trapcapture {

// The key's native name ("\REGISTRY\Machine\..."), or "" (as KeyName).
std::wstring CachedKeyName(HANDLE key);
// Before the handle is closed.
void ForgetKeyName(HANDLE key);
// A key was renamed or deleted.
void KeyNamesChanged();

// NtCreateKey made the key (native name) new.
void NoteKeyMade(const std::wstring& keyName);
// Whether the key certainly holds no value of that name, as above.
bool ValueKnownMissing(const std::wstring& keyName, const UNICODE_STRING* valueName);
// After this process set (or deleted) the value.
void NoteValueWritten(const std::wstring& keyName, const UNICODE_STRING* valueName, bool set);
// Names are kept only while every hook is in (a close the hooks do not see would leave a
// name for a handle number the system hands out again): on when the hooks are in, off
// (and every name forgotten) before they come out.
void KeepKeyNames(bool keep);

}  // namespace trapcapture
