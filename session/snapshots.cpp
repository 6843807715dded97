#include "session/snapshots.h"

#include "engines/disk.h"
#include "engines/ini.h"
#include "engines/registry.h"

namespace session {

std::string SnapshotNames::RegistryBase() const {
  return tempFolder_ + engines::kRegistryListingBase;
}

std::string SnapshotNames::Disk(When when) const {
  return tempFolder_ + engines::kDiskListingBase + Extension(when);
}

std::string SnapshotNames::Devices(When when) const {
  return tempFolder_ + engines::kDeviceFileBase + Extension(when);
}

std::string SnapshotNames::Ini(const std::string& iniFile, When when) const {
  return engines::IniCopyPath(iniFile, tempFolder_, Extension(when));
}

std::string SnapshotNames::IniBytes(const std::string& iniFile) const {
  return engines::IniCopyPath(iniFile, tempFolder_, engines::kIniBytesExtension);
}

std::vector<std::string> SnapshotNames::All(const std::vector<std::string>& iniFiles) const {
  std::vector<std::string> files;
  for (When when : {When::Before, When::After}) files.push_back(Disk(when));
  for (When when : {When::Before, When::After}) files.push_back(Registry(when));
  for (When when : {When::Before, When::After}) files.push_back(Devices(when));
  for (const std::string& ini : iniFiles) {
    files.push_back(Ini(ini, When::Before));
    files.push_back(Ini(ini, When::After));
    files.push_back(IniBytes(ini));
  }
  return files;
}

}  // namespace session
