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

namespace platform {

// The path that the system would act on for a local file path from untrusted data:
// "/" taken as "\", repeated separators, "." and ".." steps resolved, the trailing dots
// and spaces of each name dropped. False, with nothing in canonical, for what is not a
// plain path on a drive: UNC, "\\?\" and "\\.\" forms, a relative path, ".." above the
// drive, a device name (CON, NUL, COM1, ...), a stream (":") or a character no file
// name may hold.
bool CanonicalDrivePath(const std::string& path, std::string& canonical);

}  // namespace platform
