#pragma once
// How the capture names what it sees: the native names of ntdll turned into the names the
// records use, and the registry's wide-character data turned back into what an ANSI
// program wrote.
#include <cstdint>
#include <string>

namespace trapcapture {

// "\??\C:\DIR\FILE" -> "C:\DIR\FILE", "\??\UNC\SERVER\SHARE\F" -> "\\SERVER\SHARE\F";
// "" for anything that is no file of a drive or share (pipes, consoles, devices).
std::string Win32FilePath(const std::wstring& nativeName);

// "\REGISTRY\Machine\X" -> "HKEY_LOCAL_MACHINE\X", "\REGISTRY\User\S-1-5-...\X" ->
// "HKEY_USERS\S-1-5-...\X" (in any case); "" for any other name.
std::string RegistryPath(const std::wstring& nativeName);

// A native name joined to the name of the handle it is relative to.
std::wstring JoinNative(const std::wstring& root, const std::wstring& relative);

// Wide text in the ANSI code page.
std::string Ansi(const std::wstring& text);
std::string Ansi(const wchar_t* text, size_t length);

// Value data as an ANSI program has it: the string types (1, 2, 7) arrive as wide
// characters and go back to ANSI, NULs included; any other type is kept byte for byte.
std::string AnsiValueData(uint32_t type, const void* data, size_t size);

}  // namespace trapcapture
