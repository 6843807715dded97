#pragma once
// The names of a session's snapshot files in the temporary folder, made here and nowhere
// else: the registry and disk listings and the SYSTEM.INI device lines, each before the
// install (".$$1") and after it (".$$2"), and each watched INI file's copies.
#include <string>
#include <vector>

namespace session {

enum class When { Before, After };

class SnapshotNames {
 public:
  explicit SnapshotNames(std::string tempFolder) : tempFolder_(std::move(tempFolder)) {}

  static const char* Extension(When when) { return when == When::Before ? ".$$1" : ".$$2"; }
  std::string RegistryBase() const;  // without the extension, as the registry walk takes it
  std::string Registry(When when) const { return RegistryBase() + Extension(when); }
  std::string Disk(When when) const;
  std::string Devices(When when) const;
  std::string Ini(const std::string& iniFile, When when) const;
  // The INI file's bytes as the install left it, for the undo.
  std::string IniBytes(const std::string& iniFile) const;
  // Every one of them, for the given INI files.
  std::vector<std::string> All(const std::vector<std::string>& iniFiles) const;

 private:
  std::string tempFolder_;
};

}  // namespace session
