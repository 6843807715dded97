#pragma once
// The folder where the capture copies files before their first change while real-time
// tracking runs (platform/filebackups.h): named to every traced process through a mapping
// from the start of tracking to its end. What was copied stays for the report's undo data.
#include <string>

#include "platform/owners.h"

namespace realtime {

// The folder's name in the program's temporary folder.
constexpr char kBackupFolderName[] = "VORTBACK.$$$";

// The naming of the folder, for one tracking run. A traced process keeps the mapping open
// once it has found it, so a later run names its folder in the same mapping.
class FileBackups {
 public:
  FileBackups() = default;
  // Empties the folder of an earlier session, makes it and names it to the capture.
  explicit FileBackups(const std::string& folder);
  FileBackups(FileBackups&&) noexcept = default;
  FileBackups& operator=(FileBackups&&) noexcept = default;
  ~FileBackups() { Stop(); }
  // From now on nothing is copied; the folder and its copies stay.
  void Stop();

 private:
  void NameFolder(const std::string& folder);
  platform::Handle mapping_;
  platform::MappedView view_;
};

}  // namespace realtime
