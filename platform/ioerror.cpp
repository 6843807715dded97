#include "platform/ioerror.h"

namespace platform {

std::string SystemErrorText(DWORD code) {
  char buffer[512] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, length);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
    text.pop_back();
  if (text.empty()) text = "Error " + std::to_string(code) + ".";
  return text;
}

IoError::IoError(std::string operation, std::string path, DWORD code)
    : std::runtime_error(operation + " " + path + ": " + SystemErrorText(code)),
      operation_(std::move(operation)),
      path_(std::move(path)),
      code_(code) {}

void ThrowLastError(const std::string& operation, const std::string& path) {
  DWORD code = GetLastError();
  throw IoError(operation, path, code);
}

void ThrowDamagedLine(const std::string& path, unsigned long line) {
  throw IoError("Damaged line " + std::to_string(line) + " in", path, ERROR_FILE_CORRUPT);
}

}  // namespace platform
