#pragma once
// Splitting Windows paths: plain text work, no file system call.
#include <string>

namespace platform {

// The folder part with its trailing backslash ("c:\a\" for "c:\a\b.txt"); "" without one.
std::string FolderOf(const std::string& path);
// What follows the last backslash.
std::string FileNameOf(const std::string& path);
// The file name without its last extension ("setup" for "c:\x\setup.exe").
std::string StemOf(const std::string& path);
// The extension from the file name's last dot, in upper case (".EXE"); "" without one.
std::string UpperExtension(const std::string& path);

}  // namespace platform
