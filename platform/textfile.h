#pragma once
// Buffered whole-file output and line input for listings, copies and reports. Files are
// ANSI text with CR LF line ends. Failures raise IoError naming the file; the owner
// closes the file whatever happens.
#include <string>

#include "platform/owners.h"

namespace platform {

class BufferedWriter {
 public:
  enum class Mode { Create, Append };
  // Create makes a new file or truncates an old one; Append adds to the end of an
  // existing file (made if missing).
  explicit BufferedWriter(std::string path, Mode mode = Mode::Create);
  // Writes what is still buffered, ignoring failures: after an error the file keeps what
  // could be written. Call Close() to hear about them.
  ~BufferedWriter();
  BufferedWriter(BufferedWriter&&) = default;

  void Write(const char* data, size_t size);
  void Write(const std::string& text) { Write(text.data(), text.size()); }
  void WriteLine(const std::string& line);  // the line and CR LF
  void Flush();
  void Close();  // flushes and closes
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  FileHandle file_;
  std::string buffer_;
};

class BufferedReader {
 public:
  explicit BufferedReader(std::string path);  // the file must exist
  BufferedReader(BufferedReader&&) = default;

  // The next line without its line end (CR LF, or a lone LF); false at the end of the
  // file. A last line without a line end is still a line.
  bool ReadLine(std::string& line);

  // For the files this program writes itself, where every line ends in CR LF and none is
  // longer than maxLength: Damaged for a line that breaks either rule (one the file ends
  // in the middle of, one that runs on, which is not read past maxLength).
  enum class Read { Line, End, Damaged };
  Read ReadWrittenLine(std::string& line, size_t maxLength);
  const std::string& Path() const { return path_; }

 private:
  bool Fill();
  std::string path_;
  FileHandle file_;
  std::string buffer_;
  size_t position_ = 0;
  bool ended_ = false;
};

// Every byte of a file no larger than maxSize; false when it cannot be read or is larger.
bool ReadFileBytes(const std::string& path, size_t maxSize, std::string& bytes);

// Deletes a file; a missing file is not an error. Answers whether it is gone.
bool DeleteFileIfPresent(const std::string& path);

}  // namespace platform
