#pragma once
// Copies of files taken before the install first changes them, while the program asks for
// them (platform/filebackups.h). Called by the hooks before the real call.
#include <string>

namespace trapcapture {

// Copies the file (its native name; path: its Win32 path, as the records name it) unless
// this session has a copy of it already, or no copies are asked for, or it is no file.
void BackUpBeforeChange(const std::wstring& nativeName, const std::string& path);
// The file was made by this process during the session: it needs no copy later.
void NoteMadeHere(const std::string& path);

}  // namespace trapcapture
