#pragma once
#include <windows.h>

#include <stdexcept>
#include <string>

namespace platform {

// The system's text for an error code, without the line end it comes with.
std::string SystemErrorText(DWORD code);

// A file that could not be created, opened, read or written. Raised where the call
// failed and shown by the application's error box once the open files are closed.
class IoError : public std::runtime_error {
 public:
  IoError(std::string operation, std::string path, DWORD code);
  const std::string& Operation() const { return operation_; }
  const std::string& Path() const { return path_; }
  DWORD Code() const { return code_; }

 private:
  std::string operation_;
  std::string path_;
  DWORD code_;
};

// A line of a listing or copy that cannot be what this program wrote there (the files wait
// in a folder that other programs can write to): "Damaged line N in" the file.
[[noreturn]] void ThrowDamagedLine(const std::string& path, unsigned long line);

// Throws IoError with the calling thread's last error; call it on the line after the
// failed call, before anything else can change that error.
[[noreturn]] void ThrowLastError(const std::string& operation, const std::string& path);

}  // namespace platform
