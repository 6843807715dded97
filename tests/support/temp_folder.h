#pragma once
// A folder of its own for one test, below C:\vortan4-tests, removed with everything
// in it when the test ends.
#include <string>

namespace testing_support {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder with a trailing backslash.
  const std::string& Path() const { return path_; }
  // path() + relative; parent folders are created by the writers.
  std::string operator/(const std::string& relative) const { return path_ + relative; }

  // Writes a file as bytes (no line-end translation), creating its folders.
  void Write(const std::string& relative, const std::string& bytes) const;
  std::string Read(const std::string& relative) const;
  void MakeFolder(const std::string& relative) const;

 private:
  std::string path_;
};

// Deletes a file or a whole tree; a missing one is not an error.
void RemoveTree(const std::string& path);

}  // namespace testing_support
