#pragma once
// An installer package made from a report's undo data: the steps that make the install's
// changes again, written as an NSIS script (setup.nsi) and a Windows Installer source
// (setup.wxs) beside a files\ folder with the payload and a README.TXT.
//
// Three steps: PlanPackage reads the machine as it is now (the files to copy, every
// registry value in full) and decides what goes in and what is left out and why;
// NsisScript and WixScript write a plan in each format, each naming what its format cannot
// hold; WritePackage copies the payload and writes the folder.
#include <string>
#include <vector>

#include "engines/undo_data.h"

namespace engines {

// Where the installers' folder variables point on this machine, without a trailing
// backslash: $PROGRAMFILES, $WINDIR and $SYSDIR in NSIS, ProgramFilesFolder, WindowsFolder
// and SystemFolder in Windows Installer.
struct PackageFolders {
  std::string programFiles;
  std::string windows;
  std::string system;
};

enum class PackageRoot { ProgramFiles, Windows, System, Drive };

// A path as the package names it: below one of the folders, or on a drive ("c:" + rest).
struct InstallerPath {
  PackageRoot root = PackageRoot::Drive;
  std::string drive;  // "c:" for Drive
  std::string rest;   // below the root, without a leading backslash; "" for the root itself
};
InstallerPath SplitInstallerPath(const std::string& path, const PackageFolders& folders);
// Where the payload of a file lies in the package: "files\PROGRAMFILES\...", "files\C\...".
std::string PayloadPath(const InstallerPath& path);

// "HKEY_USERS\<userId>\..." is the current user's: "HKEY_CURRENT_USER\...";
// "HKEY_USERS\<userId>_Classes\..." is "HKEY_CURRENT_USER\Software\Classes\...". Other keys
// stay as they are.
std::string MapRegistryKey(const std::string& keyPath, const std::string& userId);

// Steps in the order the package takes them: deletions first, then what is made.
enum class PackageAction {
  DeleteFile, DeleteFolder, DeleteValue, DeleteKey, DeleteIniKey, DeleteIniSection,
  MakeFolder, CopyFile, MakeKey, SetValue, SetIniKey, MakeIniSection,
  DeleteDeviceLine, AddDeviceLine,  // SYSTEM.INI's [386Enh] lines, once its keys are written
};

struct PackageStep {
  PackageAction action = PackageAction::CopyFile;
  std::string path;  // file or folder; key path with its root; INI file
  std::string name;  // value name ("" the default value); INI section
  std::string key;   // INI key
  std::string data;  // the value's bytes, the INI value, a device line, or the payload path
  unsigned long type = 0;  // the registry type of SetValue
  bool added = false;      // made by the install, so the uninstaller takes it away
};

// A change the package does not make, and why.
struct PackageNote {
  std::string what;
  std::string why;
};

struct Package {
  std::string name;    // the installation's name (see InstallationName), or the report's stem
  std::string report;  // the report file
  PackageFolders folders;
  std::vector<PackageStep> steps;
  std::vector<PackageNote> leftOut;       // changes neither script makes
  std::vector<PackageNote> notPackaged;   // left out on purpose: not the install's own
  size_t changedSince = 0;                // of leftOut: changed since the report
};

// What the plan needs to know of the machine besides the items.
struct PackageContext {
  PackageFolders folders;
  std::string userId;                      // the current user's key below HKEY_USERS
  std::vector<std::string> ownFolders;     // the program's own folder
  std::vector<std::string> tempFolders;    // the system's temporary folders
  std::string reportStem;                  // c:\r\RPT_0003: the report's own files
  std::string installationName;            // what the package is called; "" the report's stem
  bool takeChangedAsNow = false;           // what changed since the report goes in as it is now
};
PackageContext ThisMachine(const std::string& reportPath);

// The installation's name from what its report says: the description the user gave, else
// the install program's file name without its extension; made fit for a folder and a key
// name (no \ / : * ? " < > | or control characters, no spaces or dots at either end, 64
// characters at most). "" when neither gives one.
std::string InstallationName(const std::string& description, const std::string& installProgram);

// Reads the files and values as they are now; changes nothing.
Package PlanPackage(const UndoData& data, const PackageContext& context);

// The scripts; what the format cannot hold is added to leftOut.
std::string NsisScript(const Package& package, std::vector<PackageNote>& leftOut);
std::string WixScript(const Package& package, std::vector<PackageNote>& leftOut);

// Text in an NSIS string between double quotes: "$" "\"" and line ends escaped; a "$"
// before "\" or "{" is the script's variable $Dollar.
std::string NsisString(const std::string& text);
// Text in a wixl attribute: & < > " and control characters escaped, "$" doubled for
// wixl's preprocessor.
std::string XmlText(const std::string& text);
// What the summary and the README call a step: "file c:\x", "value HKEY_...\Key Name".
std::string DescribeStep(const PackageStep& step);
// The NSIS line that writes a SetValue step; "" when no NSIS command writes it: the
// script then writes the step's bytes from the file NsisValueDataPath(its index).
std::string NsisValueLine(const PackageStep& step);
std::string NsisValueDataPath(size_t index);
// The WiX element that writes a SetValue step; "" when it cannot.
std::string WixValueElement(const PackageStep& step, const std::string& indent);

struct PackageResult {
  std::vector<PackageNote> leftOutOfNsis;
  std::vector<PackageNote> leftOutOfWix;
  bool Complete(const Package& package) const {
    return package.leftOut.empty() && leftOutOfNsis.empty() && leftOutOfWix.empty();
  }
};

// What was written and, one line each, every change left out: for the command's error
// stream and the window's message.
std::vector<std::string> PackageSummary(const Package& package, const PackageResult& result,
                                        const std::string& folder);

// Why a package of the report cannot be written into the folder; "" when it can: the
// folder is missing or empty, or holds an earlier package of the same report (its
// README.TXT's first line names the report), which WritePackage replaces whole.
std::string PackageFolderRefusal(const std::string& folder, const std::string& report);

// Makes the folder (an earlier package in it is deleted first), copies the payload (a file
// that cannot be read is left out) and writes setup.nsi (UTF-8 with a byte order mark),
// setup.wxs (UTF-8) and README.TXT. Raises IoError when the folder cannot be written, and
// runtime_error when PackageFolderRefusal refuses it.
PackageResult WritePackage(Package& package, const std::string& folder);

}  // namespace engines
