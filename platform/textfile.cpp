#include "platform/textfile.h"

#include "platform/ioerror.h"

namespace platform {
namespace {
constexpr size_t kBufferSize = 64 * 1024;
}

BufferedWriter::BufferedWriter(std::string path, Mode mode) : path_(std::move(path)) {
  DWORD disposition = mode == Mode::Append ? OPEN_ALWAYS : CREATE_ALWAYS;
  file_.reset(CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_) ThrowLastError(mode == Mode::Append ? "Cannot open" : "Cannot create", path_);
  if (mode == Mode::Append && SetFilePointer(file_.get(), 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR)
    ThrowLastError("Cannot open", path_);
  buffer_.reserve(kBufferSize);
}

BufferedWriter::~BufferedWriter() {
  if (file_ && !buffer_.empty()) {
    DWORD written = 0;
    WriteFile(file_.get(), buffer_.data(), static_cast<DWORD>(buffer_.size()), &written, nullptr);
  }
}

// What does not fit in the block goes after the block is written, so that the buffer
// keeps its one block instead of growing to twice its size (only a write longer than a
// block grows it).
void BufferedWriter::Write(const char* data, size_t size) {
  if (buffer_.size() + size > kBufferSize) Flush();
  buffer_.append(data, size);
  if (buffer_.size() >= kBufferSize) Flush();
}

void BufferedWriter::WriteLine(const std::string& line) {
  if (buffer_.size() + line.size() + 2 > kBufferSize) Flush();
  buffer_.append(line);
  buffer_.append("\r\n", 2);
  if (buffer_.size() >= kBufferSize) Flush();
}

void BufferedWriter::Flush() {
  if (!file_ || buffer_.empty()) return;
  DWORD written = 0;
  BOOL ok = WriteFile(file_.get(), buffer_.data(), static_cast<DWORD>(buffer_.size()), &written,
                      nullptr);
  if (!ok) ThrowLastError("Cannot write", path_);
  if (written != buffer_.size()) {
    buffer_.erase(0, written);
    throw IoError("Cannot write", path_, ERROR_DISK_FULL);
  }
  buffer_.clear();
}

void BufferedWriter::Close() {
  Flush();
  file_.reset();
}

BufferedReader::BufferedReader(std::string path) : path_(std::move(path)) {
  file_.reset(CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file_) ThrowLastError("Cannot open", path_);
}

bool BufferedReader::Fill() {
  if (ended_) return false;
  buffer_.erase(0, position_);
  position_ = 0;
  size_t kept = buffer_.size();
  buffer_.resize(kept + kBufferSize);
  DWORD got = 0;
  if (!ReadFile(file_.get(), &buffer_[kept], kBufferSize, &got, nullptr)) {
    buffer_.resize(kept);
    ThrowLastError("Cannot read", path_);
  }
  buffer_.resize(kept + got);
  if (got == 0) ended_ = true;
  return got != 0;
}

bool BufferedReader::ReadLine(std::string& line) {
  size_t searchFrom = position_;
  for (;;) {
    size_t end = buffer_.find('\n', searchFrom);
    if (end != std::string::npos) {
      size_t lineEnd = end > position_ && buffer_[end - 1] == '\r' ? end - 1 : end;
      line.assign(buffer_, position_, lineEnd - position_);
      position_ = end + 1;
      return true;
    }
    searchFrom = buffer_.size() - position_;  // relative: Fill() moves the data to the front
    if (!Fill()) break;
  }
  if (position_ >= buffer_.size()) return false;
  line.assign(buffer_, position_, std::string::npos);
  position_ = buffer_.size();
  return true;
}

BufferedReader::Read BufferedReader::ReadWrittenLine(std::string& line, size_t maxLength) {
  size_t searchFrom = position_;
  for (;;) {
    size_t end = buffer_.find('\n', searchFrom);
    if (end != std::string::npos) {
      if (end == position_ || buffer_[end - 1] != '\r' || end - 1 - position_ > maxLength)
        return Read::Damaged;
      line.assign(buffer_, position_, end - 1 - position_);
      position_ = end + 1;
      return Read::Line;
    }
    if (buffer_.size() - position_ > maxLength + 1) return Read::Damaged;
    searchFrom = buffer_.size() - position_;  // relative: Fill() moves the data to the front
    if (!Fill()) break;
  }
  return position_ >= buffer_.size() ? Read::End : Read::Damaged;
}

bool ReadFileBytes(const std::string& path, size_t maxSize, std::string& bytes) {
  bytes.clear();
  FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD high = 0;
  const DWORD low = GetFileSize(file.get(), &high);
  if ((low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0 || low > maxSize)
    return false;
  bytes.resize(low);
  DWORD got = 0;
  if (low && (!ReadFile(file.get(), &bytes[0], low, &got, nullptr) || got != low)) return false;
  return true;
}

bool DeleteFileIfPresent(const std::string& path) {
  if (DeleteFileA(path.c_str())) return true;
  DWORD code = GetLastError();
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

}  // namespace platform
