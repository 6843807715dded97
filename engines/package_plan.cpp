#include <windows.h>

#include <algorithm>
#include <map>
#include <utility>

#include "engines/helpers.h"
#include "engines/package.h"
#include "engines/undo.h"
#include "platform/changes.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/system.h"
#include "platform/valuenames.h"
#include "platform/textfile.h"

namespace engines {
namespace {

using K = UndoKind;

// The path itself or anything below it, without case; never a whole drive (a program kept
// in a drive's root folder does not make every file on it the program's own).
bool Within(const std::string& path, const std::string& folder) {
  const std::string lower = LowerAscii(path), top = LowerAscii(WithoutTrailingBackslash(folder));
  if (top.size() < 3) return false;
  return lower.compare(0, top.size(), top) == 0 &&
         (lower.size() == top.size() || lower[top.size()] == '\\');
}

bool IsGuidName(const std::string& name) {
  return name.size() == 38 && name.front() == '{' && name.back() == '}';
}

// What the install's changes hold that a package must not make again, and why; "" for
// the install's own changes.
std::string WhyNotPackaged(const UndoItem& item, const PackageContext& context) {
  if (item.kind <= K::FileNewer) {
    for (const std::string& own : context.ownFolders)
      if (Within(item.place, own)) return "Vortan4's own files";
    const std::string stem = LowerAscii(context.reportStem);
    if (!stem.empty() && LowerAscii(item.place).compare(0, stem.size() + 1, stem + ".") == 0)
      return "the report and its undo data";
    for (const std::string& temp : context.tempFolders)
      if (Within(item.place, temp)) return "a temporary folder";
    if (Within(item.place, context.folders.windows + "\\Installer"))
      return "the Windows Installer's cache, which the package's own installer keeps";
    const std::string name = LowerAscii(platform::FileNameOf(item.place));
    for (const char* system : {"system.dat", "user.dat", "system.da0", "user.da0", "win386.swp"})
      if (name == system && Within(item.place, context.folders.windows))
        return "the system's registry and swap files";
    return "";
  }
  if (item.kind > K::ValueDeleted) return "";
  const std::string key = LowerAscii(item.place);
  const std::string uninstall = "hkey_local_machine\\software\\microsoft\\windows\\currentversion\\uninstall\\";
  const size_t userSoftware = key.find("\\software\\microsoft\\installer");
  if (Within(key, "hkey_local_machine\\software\\microsoft\\windows\\currentversion\\installer") ||
      Within(key, "hkey_local_machine\\software\\classes\\installer") ||
      (key.compare(0, 11, "hkey_users\\") == 0 && userSoftware != std::string::npos &&
       key.find('\\', 11) == userSoftware &&
       Within(key, key.substr(0, userSoftware) + "\\software\\microsoft\\installer")) ||
      (key.compare(0, uninstall.size(), uninstall) == 0 &&
       IsGuidName(item.place.substr(uninstall.size(), 38)) &&
       (key.size() == uninstall.size() + 38 || key[uninstall.size() + 38] == '\\')))
    return "the Windows Installer's registration, which the package's own installer makes";
  return "";
}

// Keys that last for the session only: the system makes them anew each time, and no
// installer can write below them (a Windows Installer package that tries fails whole).
// Each key is asked once.
class SessionKeys {
 public:
  bool Holds(const std::string& keyPath) {
    const auto known = answers_.find(LowerAscii(keyPath));
    if (known != answers_.end()) return known->second;
    std::string root, subkey;
    const bool volatileKey =
        SplitRegistryPath(keyPath, root, subkey) && platform::IsVolatileKey(platform::RegistryRoot(root), subkey);
    answers_.emplace(LowerAscii(keyPath), volatileKey);
    return volatileKey;
  }

 private:
  std::map<std::string, bool> answers_;
};

// "[section]key" split in two.
void SplitIniName(const std::string& name, std::string& section, std::string& key) {
  const size_t close = name.find(']');
  section = close == std::string::npos ? "" : name.substr(1, close - 1);
  key = close == std::string::npos ? name : name.substr(close + 1);
}

// Where an INI key stands in its file now: its section's place, then its own, so that a
// package writes new sections and keys in the order the install left them.
class IniPlaces {
 public:
  std::pair<size_t, size_t> Of(const std::string& file, const std::string& section, const std::string& key) {
    const std::string lowerFile = LowerAscii(file);
    auto sections = sections_.find(lowerFile);
    if (sections == sections_.end())
      sections = sections_.emplace(lowerFile, Lowered(platform::ProfileSectionNames(file))).first;
    const std::string where = lowerFile + "[" + LowerAscii(section);
    auto keys = keys_.find(where);
    if (keys == keys_.end()) keys = keys_.emplace(where, Lowered(platform::ProfileKeyNames(file, section))).first;
    return {IndexOf(sections->second, LowerAscii(section)), IndexOf(keys->second, LowerAscii(key))};
  }

 private:
  static std::vector<std::string> Lowered(std::vector<std::string> names) {
    for (std::string& name : names) name = LowerAscii(name);
    return names;
  }
  static size_t IndexOf(const std::vector<std::string>& names, const std::string& name) {
    return static_cast<size_t>(std::find(names.begin(), names.end(), name) - names.begin());
  }
  std::map<std::string, std::vector<std::string>> sections_, keys_;
};

// Strings compare up to their first zero: a value written without one reads the same.
bool SameData(unsigned long type, const std::string& a, const std::string& b) {
  if (type == REG_SZ || type == REG_EXPAND_SZ) return a.substr(0, a.find('\0')) == b.substr(0, b.find('\0'));
  return a == b;
}

}  // namespace

InstallerPath SplitInstallerPath(const std::string& path, const PackageFolders& folders) {
  // The system folder lies inside the Windows folder: it is tried first.
  const std::pair<PackageRoot, const std::string*> roots[] = {
      {PackageRoot::System, &folders.system},
      {PackageRoot::Windows, &folders.windows},
      {PackageRoot::ProgramFiles, &folders.programFiles}};
  for (const auto& [root, folder] : roots) {
    if (!Within(path, *folder)) continue;
    const size_t length = WithoutTrailingBackslash(*folder).size();
    return {root, "", path.size() > length ? path.substr(length + 1) : ""};
  }
  InstallerPath drive;
  drive.drive = path.substr(0, 2);
  drive.rest = path.size() > 3 ? path.substr(3) : "";
  return drive;
}

std::string PayloadPath(const InstallerPath& path) {
  const char* tags[] = {"PROGRAMFILES", "WINDIR", "SYSDIR"};
  std::string tag = path.root == PackageRoot::Drive ? std::string(1, static_cast<char>(toupper(
                                                          static_cast<unsigned char>(path.drive[0]))))
                                                    : tags[static_cast<int>(path.root)];
  return "files\\" + tag + (path.rest.empty() ? "" : "\\" + path.rest);
}

std::string MapRegistryKey(const std::string& keyPath, const std::string& userId) {
  const std::string users = "HKEY_USERS\\";
  if (userId.empty() || LowerAscii(keyPath.substr(0, users.size())) != LowerAscii(users))
    return keyPath;
  const std::string rest = keyPath.substr(users.size());
  const size_t slash = rest.find('\\');
  const std::string id = LowerAscii(rest.substr(0, slash));
  const std::string below = slash == std::string::npos ? "" : rest.substr(slash);
  if (id == LowerAscii(userId)) return "HKEY_CURRENT_USER" + below;
  if (id == LowerAscii(userId + "_Classes")) return "HKEY_CURRENT_USER\\Software\\Classes" + below;
  return keyPath;
}

std::string DescribeStep(const PackageStep& step) {
  using A = PackageAction;
  switch (step.action) {
    case A::DeleteFolder: case A::MakeFolder: return "folder " + step.path;
    case A::DeleteValue: case A::SetValue:
      return "value " + step.path + " " + platform::WrittenValueName(step.name);
    case A::DeleteKey: case A::MakeKey: return "key " + step.path;
    case A::DeleteIniKey: case A::SetIniKey:
      return "key [" + step.name + "]" + step.key + " of " + step.path;
    case A::DeleteIniSection: case A::MakeIniSection:
      return "section [" + step.name + "] of " + step.path;
    case A::DeleteDeviceLine: case A::AddDeviceLine:
      return "line [386Enh]" + step.data + " of " + step.path;
    default: return "file " + step.path;
  }
}

PackageContext ThisMachine(const std::string& reportPath) {
  PackageContext context;
  context.folders.windows = platform::WindowsFolder();
  context.folders.system = platform::SystemFolder();
  DWORD type = 0;
  std::string programFiles;
  if (platform::ReadValue(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
                          "ProgramFilesDir", type, programFiles) == ERROR_SUCCESS)
    context.folders.programFiles = programFiles.substr(0, programFiles.find('\0'));
  if (context.folders.programFiles.empty())
    context.folders.programFiles = context.folders.windows.substr(0, 2) + "\\Program Files";
  context.userId = platform::CurrentUserKeyName();
  context.ownFolders.push_back(platform::FolderOf(platform::ModulePath()));
  context.tempFolders = {platform::TempFolder(), context.folders.windows + "\\TEMP"};
  context.reportStem = platform::FolderOf(reportPath) + platform::StemOf(reportPath);
  return context;
}

std::string InstallationName(const std::string& description, const std::string& installProgram) {
  std::string name = description;
  if (name.find_first_not_of(' ') == std::string::npos)
    name = platform::StemOf(platform::FileNameOf(installProgram));
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 32 || std::string("\\/:*?\"<>|").find(c) != std::string::npos) c = '_';
  name = name.substr(0, 64);
  const size_t first = name.find_first_not_of(" ."), last = name.find_last_not_of(" .");
  return first == std::string::npos ? "" : name.substr(first, last - first + 1);
}

Package PlanPackage(const UndoData& data, const PackageContext& context) {
  Package package;
  package.report = data.report;
  package.name = context.installationName.empty() ? platform::StemOf(data.report) : context.installationName;
  package.folders = context.folders;
  std::vector<std::vector<PackageStep>> phases(static_cast<size_t>(PackageAction::AddDeviceLine) + 1);
  auto add = [&](PackageAction action, const std::string& path, bool added) -> PackageStep& {
    PackageStep& step = phases[static_cast<size_t>(action)].emplace_back();
    step.action = action;
    step.path = path;
    step.added = added;
    return step;
  };
  SessionKeys sessionKeys;
  auto forTheSessionOnly = [&](const UndoItem& item) {
    if (!sessionKeys.Holds(item.place)) return false;
    package.notPackaged.push_back({DescribeUndoItem(item), "a volatile key, which lasts for the session only"});
    return true;
  };
  auto leave = [&](const UndoItem& item, const std::string& why) {
    package.leftOut.push_back({DescribeUndoItem(item), why});
  };
  // What changed since the report goes in as it is now only when the user says so.
  auto takeAsNow = [&](const UndoItem& item, const std::string& why) {
    if (context.takeChangedAsNow) return true;
    leave(item, why);
    ++package.changedSince;
    return false;
  };
  // A deleted folder is one that held another deleted entry.
  std::vector<std::string> deleted;
  for (const UndoItem& item : data.items)
    if (item.kind == K::FileDeleted) deleted.push_back(LowerAscii(item.place));
  std::sort(deleted.begin(), deleted.end());
  auto heldOthers = [&](const std::string& place) {
    const std::string below = LowerAscii(place) + "\\";
    const auto next = std::lower_bound(deleted.begin(), deleted.end(), below);
    return next != deleted.end() && next->compare(0, below.size(), below) == 0;
  };

  for (const UndoItem& item : data.items) {
    if (const std::string why = WhyNotPackaged(item, context); !why.empty()) {
      package.notPackaged.push_back({DescribeUndoItem(item), why});
      continue;
    }
    const std::string key = MapRegistryKey(item.place, context.userId);
    std::string section, iniKey;
    SplitIniName(item.name, section, iniKey);
    switch (item.kind) {
      case K::FileAdded: case K::FolderAdded: case K::FileChanged: case K::FileNewer: {
        // A watched INI file's changes are its INI items, not the whole file.
        bool watchedIni = false;
        for (const std::string& ini : data.watchedInis)
          watchedIni = watchedIni || lstrcmpiA(ini.c_str(), item.place.c_str()) == 0;
        if (watchedIni) continue;
        bool isFolder = false;
        uint64_t size = 0, writeTime = 0;
        if (!platform::EntryStamp(item.place, isFolder, size, writeTime)) {
          leave(item, "gone since the report");
        } else if (isFolder) {
          // A changed folder is explained by the changes inside it.
          if (item.kind != K::FileChanged) add(PackageAction::MakeFolder, item.place, item.kind == K::FolderAdded);
        } else if (item.kind != K::FileAdded || (size == item.size && writeTime == item.writeTime) ||
                   takeAsNow(item, "changed since the report")) {
          add(PackageAction::CopyFile, item.place, item.kind == K::FileAdded).data =
              PayloadPath(SplitInstallerPath(item.place, context.folders));
        }
        break;
      }
      case K::FileDeleted:
        add(heldOthers(item.place) ? PackageAction::DeleteFolder : PackageAction::DeleteFile, item.place, false);
        break;
      case K::FolderDeleted: add(PackageAction::DeleteFolder, item.place, false); break;
      case K::KeyAdded: {
        if (forTheSessionOnly(item)) break;
        std::string root, subkey;
        if (!SplitRegistryPath(item.place, root, subkey) || !platform::KeyExists(platform::RegistryRoot(root), subkey))
          leave(item, "gone since the report");
        else
          add(PackageAction::MakeKey, key, true);
        break;
      }
      case K::KeyDeleted: add(PackageAction::DeleteKey, key, false); break;
      case K::ValueDeleted:
        add(PackageAction::DeleteValue, key, false).name = platform::RealValueName(item.name);
        break;
      case K::ValueAdded: case K::ValueChanged: {
        if (forTheSessionOnly(item)) break;
        std::string root, subkey, now, expected;
        DWORD type = 0;
        unsigned long expectedType = 0;
        if (!SplitRegistryPath(item.place, root, subkey) ||
            platform::ReadValue(platform::RegistryRoot(root), subkey, item.name, type, now) != ERROR_SUCCESS) {
          leave(item, "gone since the report");
        } else if (!RegistryBytesOf(item.after, expectedType, expected) ||
                   (expectedType == type && SameData(type, expected, now)) ||
                   takeAsNow(item, "changed since the report: the registry no longer holds what the report says")) {
          PackageStep& step = add(PackageAction::SetValue, key, item.kind == K::ValueAdded);
          step.name = platform::RealValueName(item.name);
          step.type = type;
          step.data = now;
        }
        break;
      }
      case K::IniKeyAdded: case K::IniKeyChanged: {
        const std::string now = platform::ReadProfileString(item.place, section, iniKey, "\n");
        if (now == "\n") {
          leave(item, "gone since the report");
          break;
        }
        if (now != item.after.data && !takeAsNow(item, "changed since the report")) break;
        PackageStep& step = add(PackageAction::SetIniKey, item.place, item.kind == K::IniKeyAdded);
        step.name = section;
        step.key = iniKey;
        step.data = now;
        break;
      }
      case K::IniKeyDeleted: {
        PackageStep& step = add(PackageAction::DeleteIniKey, item.place, false);
        step.name = section;
        step.key = iniKey;
        break;
      }
      case K::IniSectionAdded: add(PackageAction::MakeIniSection, item.place, true).name = section; break;
      case K::IniSectionDeleted: add(PackageAction::DeleteIniSection, item.place, false).name = section; break;
      case K::DeviceAdded: add(PackageAction::AddDeviceLine, item.place, true).data = item.name; break;
      case K::DeviceDeleted: add(PackageAction::DeleteDeviceLine, item.place, false).data = item.name; break;
      case K::IniFileCopy: break;  // for the undo: the package makes the INI changes key by key
    }
  }
  // Folders made from the top down, deleted from the bottom up.
  auto byPath = [](const PackageStep& a, const PackageStep& b) { return LowerAscii(a.path) < LowerAscii(b.path); };
  auto& made = phases[static_cast<size_t>(PackageAction::MakeFolder)];
  std::stable_sort(made.begin(), made.end(), byPath);
  auto& gone = phases[static_cast<size_t>(PackageAction::DeleteFolder)];
  std::stable_sort(gone.begin(), gone.end(), byPath);
  std::reverse(gone.begin(), gone.end());
  IniPlaces places;
  auto& iniKeys = phases[static_cast<size_t>(PackageAction::SetIniKey)];
  std::stable_sort(iniKeys.begin(), iniKeys.end(), [&](const PackageStep& a, const PackageStep& b) {
    const std::string fileA = LowerAscii(a.path), fileB = LowerAscii(b.path);
    if (fileA != fileB) return fileA < fileB;
    return places.Of(a.path, a.name, a.key) < places.Of(b.path, b.name, b.key);
  });
  for (auto& phase : phases) package.steps.insert(package.steps.end(), phase.begin(), phase.end());
  return package;
}

}  // namespace engines
