// The package as an NSIS script: one section that makes the changes, and an uninstaller
// that takes away what the install added.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <set>

#include "engines/helpers.h"
#include "engines/package.h"
#include "platform/paths.h"

namespace engines {
namespace {

using A = PackageAction;

// NSIS holds no string longer than 1,024 characters.
constexpr size_t kLongestArgument = 1000;

// The ANSI file calls NSIS makes take folders up to 247 characters, files up to 259.
constexpr size_t kLongestFolder = 247;
constexpr size_t kLongestFile = 259;

std::string Quoted(const std::string& text) { return "\"" + NsisString(text) + "\""; }

// Whether a script string carries the text exactly: it drops a NUL and control
// characters but for tab, CR and LF, and keeps no more than kLongestArgument.
bool NsisSays(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 32 && c != '\t' && c != '\r' && c != '\n') return false;
  return NsisString(text).size() <= kLongestArgument;
}

// A path in the script, unquoted: below a folder variable, or as it is.
std::string ScriptPath(const std::string& path, const PackageFolders& folders) {
  const InstallerPath split = SplitInstallerPath(path, folders);
  const char* variables[] = {"$PROGRAMFILES", "$WINDIR", "$SYSDIR"};
  if (split.root == PackageRoot::Drive) return NsisString(split.rest.empty() ? split.drive + "\\" : path);
  return std::string(variables[static_cast<int>(split.root)]) +
         (split.rest.empty() ? "" : "\\" + NsisString(split.rest));
}

std::string PathOf(const std::string& path, const PackageFolders& folders) {
  return "\"" + ScriptPath(path, folders) + "\"";
}

// A payload file as makensis finds it on the build machine: no variables there, but
// "${" opens a define and "$\\" an escape; a dollar as a define's text is taken as it is.
std::string SourceOf(const std::string& payload) {
  std::string out;
  for (char c : payload) out += c == '$' ? "${U+24}" : std::string(1, c);
  return "\"" + out + "\"";
}

// A folder longer than the ANSI calls take is made and removed level by level through
// the wide calls, in the "\\?\" form, which the NT family has.
void LongFolder(const std::string& folder, bool make, const PackageFolders& folders,
                const std::function<void(const std::string&)>& line) {
  std::vector<std::string> levels;
  for (size_t slash = folder.find('\\', 3); slash != std::string::npos; slash = folder.find('\\', slash + 1))
    if (slash > kLongestFolder) levels.push_back(folder.substr(0, slash));
  levels.push_back(folder);
  if (make) {
    const size_t cut = folder.rfind('\\', kLongestFolder);
    line("  CreateDirectory " + PathOf(folder.substr(0, cut), folders));
    for (const std::string& level : levels) {
      line("  StrCpy $R1 \"\\\\?\\" + ScriptPath(level, folders) + "\"");
      line("  System::Call 'kernel32::CreateDirectoryW(w R1, i 0)'");
    }
  } else {
    line("  StrCpy $R1 \"\\\\?\\" + ScriptPath(folder, folders) + "\"");
    line("  System::Call 'kernel32::RemoveDirectoryW(w R1)'");
  }
}

// "HKLM \"Software\\x\"" for a key path with its root; "" for a root NSIS does not know.
std::string KeyOf(const std::string& keyPath) {
  const size_t slash = keyPath.find('\\');
  const std::string root = LowerAscii(keyPath.substr(0, slash));
  const std::string subkey = slash == std::string::npos ? "" : keyPath.substr(slash + 1);
  const char* shortRoot = root == "hkey_local_machine"  ? "HKLM"
                          : root == "hkey_current_user" ? "HKCU"
                          : root == "hkey_users"        ? "HKU"
                                                        : nullptr;
  return shortRoot ? std::string(shortRoot) + " " + Quoted(subkey) : "";
}

// The bytes of a list of strings as UTF-16, the form /REGEDIT5 takes.
std::string Utf16(const std::string& bytes) {
  if (bytes.empty()) return "";
  std::wstring wide(bytes.size(), L'\0');
  const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                                         wide.data(), static_cast<int>(wide.size()));
  std::string out;
  for (int i = 0; i < length; ++i) {
    out += static_cast<char>(wide[i] & 0xFF);
    out += static_cast<char>(wide[i] >> 8);
  }
  return out;
}

// The predefined key of a key path's root, as the registry functions take it.
const char* RootHandleOf(const std::string& keyPath) {
  const std::string root = LowerAscii(keyPath.substr(0, keyPath.find('\\')));
  return root == "hkey_local_machine"  ? "0x80000002"
         : root == "hkey_current_user" ? "0x80000001"
         : root == "hkey_users"        ? "0x80000003"
                                       : nullptr;
}

// Data no NSIS command writes (long data, other types) goes into the installer as a file
// and is written as it is, through the registry functions.
void WriteRawValue(const PackageStep& step, size_t index, const std::function<void(const std::string&)>& line) {
  const size_t slash = step.path.find('\\');
  const std::string subkey = slash == std::string::npos ? "" : step.path.substr(slash + 1);
  const std::string size = std::to_string(step.data.size());
  line("  ; " + NsisString(DescribeStep(step)) + ": " + size + " bytes of type " + std::to_string(step.type));
  if (!step.data.empty()) {
    line("  File \"/oname=$PLUGINSDIR\\value.bin\" " + Quoted(NsisValueDataPath(index)));
    line("  FileOpen $0 \"$PLUGINSDIR\\value.bin\" r");
    line("  System::Alloc " + size);
    line("  Pop $1");
    line("  System::Call 'kernel32::ReadFile(i r0, i r1, i " + size + ", *i .r2, i 0)'");
    line("  FileClose $0");
  } else {
    line("  StrCpy $1 0");
  }
  // The names go through registers: quotes in them would end the call's text.
  line("  StrCpy $R1 " + Quoted(subkey));
  line("  StrCpy $R2 " + Quoted(step.name));
  line(std::string("  System::Call 'advapi32::RegCreateKeyExA(i ") + RootHandleOf(step.path) +
       ", t R1, i 0, i 0, i 0, i 0x20006, i 0, *i .r3, i 0)'");
  line("  System::Call 'advapi32::RegSetValueExA(i r3, t R2, i 0, i " + std::to_string(step.type) +
       ", i r1, i " + size + ")'");
  line("  System::Call 'advapi32::RegCloseKey(i r3)'");
  if (!step.data.empty()) line("  System::Free $1");
}

// SYSTEM.INI's device lines repeat one key, which the INI commands cannot write: the file
// is copied line by line, without the lines to delete and with the new ones after the
// [386Enh] header.
void RewriteDeviceLines(const std::string& file, const std::vector<std::string>& gone,
                        const std::vector<std::string>& added, const std::string& label,
                        const std::function<void(const std::string&)>& line) {
  line("  FlushINI " + file);
  line("  GetTempFileName $R0");
  line("  FileOpen $0 " + file + " r");
  line("  FileOpen $1 $R0 w");
  line(label + ":");
  line("  ClearErrors");
  line("  FileRead $0 $2");
  line("  IfErrors " + label + "_done");
  for (const std::string& text : gone) {
    line("  StrCmp $2 " + Quoted(text + "\r\n") + " " + label);
    line("  StrCmp $2 " + Quoted(text) + " " + label);
  }
  line("  FileWrite $1 $2");
  if (!added.empty()) {
    line("  StrCmp $2 \"[386Enh]$\\r$\\n\" " + label + "_add");
    line("  StrCmp $2 \"[386Enh]\" 0 " + label);
    line("  FileWrite $1 \"$\\r$\\n\"");
    line(label + "_add:");
    for (const std::string& text : added) line("  FileWrite $1 " + Quoted(text + "\r\n"));
  }
  line("  Goto " + label);
  line(label + "_done:");
  line("  FileClose $0");
  line("  FileClose $1");
  line("  Delete " + file);
  line("  Rename $R0 " + file);
}

// The device steps of one file, each the first time its file comes up.
void DeviceLines(const Package& package, size_t index, bool uninstall, std::set<std::string>& done,
                 const std::function<void(const std::string&)>& line) {
  const PackageStep& first = package.steps[index];
  if (!done.insert(LowerAscii(first.path)).second) return;
  std::vector<std::string> gone, added;
  for (const PackageStep& step : package.steps) {
    if (lstrcmpiA(step.path.c_str(), first.path.c_str()) != 0) continue;
    if (step.action == A::AddDeviceLine) (uninstall ? gone : added).push_back(step.data);
    if (step.action == A::DeleteDeviceLine && !uninstall) gone.push_back(step.data);
  }
  RewriteDeviceLines(PathOf(first.path, package.folders), gone, added, "device" + std::to_string(index), line);
}

}  // namespace

std::string NsisValueDataPath(size_t index) { return "files\\VALUES\\" + std::to_string(index) + ".bin"; }

std::string NsisString(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    switch (c) {
      // makensis reads "$\" as an escape and "${" as a define even after "$$": a dollar
      // before either is the variable that holds one.
      case '$':
        out += i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '{') ? "$Dollar" : "$$";
        break;
      case '"': out += "$\\\""; break;
      case '\r': out += "$\\r"; break;
      case '\n': out += "$\\n"; break;
      case '\t': out += "$\\t"; break;
      default: out += c;
    }
  }
  return out;
}

std::string NsisValueLine(const PackageStep& step) {
  const std::string key = KeyOf(step.path);
  if (key.empty()) return "";
  const std::string head = key + " " + Quoted(step.name) + " ";
  // A string with a NUL inside, or a control character a script string drops, goes
  // from a file.
  std::string text = step.data;
  if (!text.empty() && text.back() == '\0') text.pop_back();
  const bool exact = text.find('\0') == std::string::npos && NsisSays(text);
  std::string command, argument;
  switch (step.type) {
    case REG_SZ: case REG_EXPAND_SZ:
      if (!exact) return "";
      command = step.type == REG_SZ ? "WriteRegStr" : "WriteRegExpandStr";
      argument = Quoted(text);
      break;
    case REG_DWORD: {
      if (step.data.size() != 4) return "";
      const auto* b = reinterpret_cast<const unsigned char*>(step.data.data());
      char number[16];
      std::snprintf(number, sizeof number, "0x%02X%02X%02X%02X", b[3], b[2], b[1], b[0]);
      command = "WriteRegDWORD";
      argument = number;
      break;
    }
    case REG_BINARY:
      // An empty argument is no argument to the script's reader.
      if (step.data.empty()) return "";
      command = "WriteRegBin";
      argument = HexDigits(step.data);
      break;
    case REG_MULTI_SZ:
      if (step.data.empty()) return "";
      command = "WriteRegMultiStr /REGEDIT5";
      argument = HexDigits(Utf16(step.data));
      break;
    default: return "";
  }
  if (argument.size() > kLongestArgument) return "";
  return command + " " + head + argument;
}

std::string NsisScript(const Package& package, std::vector<PackageNote>& leftOut) {
  const PackageFolders& folders = package.folders;
  const std::string uninstallKey =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + package.name + " package";
  std::string out;
  auto line = [&](const std::string& text) { out += text + "\r\n"; };
  line("; Made by Vortan4 from " + package.report + ": the changes of the install it recorded.");
  line("; Build: makensis setup.nsi    Install without questions: setup.exe /S");
  line("; See README.TXT for what is left out.");
  // The file is UTF-8 (its byte order mark says so to makensis); the installer stays ANSI,
  // for Windows 95 and 98, with its strings in the build machine's ANSI code page.
  line("Unicode false");
  line("Name " + Quoted(package.name + " package"));
  line("OutFile \"setup.exe\"");
  line("InstallDir \"$PROGRAMFILES\\" + NsisString(package.name + " package") + "\"");
  line("RequestExecutionLevel admin");
  line("ShowInstDetails show");
  line("");
  line("; A dollar sign before a backslash or a brace (see NsisString).");
  line("Var Dollar");
  line("Function .onInit");
  line("  StrCpy $Dollar \"$$\"");
  line("FunctionEnd");
  line("Function un.onInit");
  line("  StrCpy $Dollar \"$$\"");
  line("FunctionEnd");
  line("");
  line("Section \"Install\"");

  // A key made empty needs a value written and taken away again.
  std::set<std::string> keysWithValues, sectionsWithKeys, iniFiles;
  for (const PackageStep& step : package.steps) {
    if (step.action == A::SetValue) keysWithValues.insert(LowerAscii(step.path));
    if (step.action == A::SetIniKey) sectionsWithKeys.insert(LowerAscii(step.path + "[" + step.name));
  }
  std::string outPath;
  bool pluginsFolder = false;
  std::set<std::string> deviceFiles;
  std::vector<bool> skipped(package.steps.size());  // left out of the uninstaller too
  for (size_t index = 0; index < package.steps.size(); ++index) {
    const PackageStep& step = package.steps[index];
    const std::string path = PathOf(step.path, folders);
    const std::string key = KeyOf(step.path);
    const bool isRegistry = step.action == A::DeleteValue || step.action == A::DeleteKey ||
                            step.action == A::MakeKey || step.action == A::SetValue;
    const bool isFile = step.action == A::DeleteFile || step.action == A::CopyFile;
    const bool isFolder = step.action == A::DeleteFolder || step.action == A::MakeFolder;
    const bool isText = !isRegistry && !isFile && !isFolder;  // INI keys and device lines
    std::string why;
    if (isRegistry && key.empty())
      why = "NSIS writes no key below that root";
    else if (!NsisSays(step.path) || ((isRegistry || isText) && !NsisSays(step.name + step.key)) ||
             (isText && !NsisSays(step.data)))
      why = "a control character or a length that NSIS strings cannot carry";
    else if (isFile && step.path.size() > kLongestFile)
      why = "a path of " + std::to_string(step.path.size()) + " characters, longer than NSIS's file commands take";
    if (!why.empty()) {
      leftOut.push_back({DescribeStep(step), why});
      skipped[index] = true;
      continue;
    }
    const bool longFolder = isFolder && step.path.size() > kLongestFolder;
    switch (step.action) {
      case A::DeleteFile: line("  Delete " + path); break;
      case A::DeleteFolder:
        if (longFolder) LongFolder(step.path, false, folders, line);
        else line("  RMDir " + path);
        break;
      case A::DeleteValue: line("  DeleteRegValue " + key + " " + Quoted(step.name)); break;
      case A::DeleteKey: line("  DeleteRegKey " + key); break;
      case A::DeleteIniKey:
        line("  DeleteINIStr " + path + " " + Quoted(step.name) + " " + Quoted(step.key));
        iniFiles.insert(path);
        break;
      case A::DeleteIniSection:
        line("  DeleteINISec " + path + " " + Quoted(step.name));
        iniFiles.insert(path);
        break;
      case A::MakeFolder:
        if (longFolder) LongFolder(step.path, true, folders, line);
        else line("  CreateDirectory " + path);
        break;
      case A::CopyFile: {
        const std::string folder = PathOf(WithoutTrailingBackslash(platform::FolderOf(step.path)), folders);
        if (folder != outPath) line("  SetOutPath " + (outPath = folder));
        line("  File " + Quoted("/oname=" + platform::FileNameOf(step.path)) + " " + SourceOf(step.data));
        break;
      }
      case A::MakeKey:
        if (keysWithValues.count(LowerAscii(step.path))) break;
        line("  WriteRegStr " + key + " \"Vortan4\" \"\"");
        line("  DeleteRegValue " + key + " \"Vortan4\"");
        break;
      case A::SetValue:
        if (const std::string value = NsisValueLine(step); !value.empty()) {
          line("  " + value);
        } else {
          if (!pluginsFolder) line("  InitPluginsDir");
          pluginsFolder = true;
          WriteRawValue(step, index, line);
        }
        break;
      case A::SetIniKey:
        line("  WriteINIStr " + path + " " + Quoted(step.name) + " " + Quoted(step.key) + " " +
             Quoted(step.data));
        iniFiles.insert(path);
        break;
      case A::DeleteDeviceLine: case A::AddDeviceLine:
        for (const std::string& file : iniFiles) line("  FlushINI " + file);
        DeviceLines(package, index, false, deviceFiles, line);
        break;
      case A::MakeIniSection:
        if (sectionsWithKeys.count(LowerAscii(step.path + "[" + step.name))) break;
        line("  WriteINIStr " + path + " " + Quoted(step.name) + " \"Vortan4\" \"\"");
        line("  DeleteINIStr " + path + " " + Quoted(step.name) + " \"Vortan4\"");
        iniFiles.insert(path);
        break;
    }
  }
  for (const std::string& file : iniFiles) line("  FlushINI " + file);
  line("  SetOutPath \"$INSTDIR\"");
  line("  WriteUninstaller \"$INSTDIR\\uninstall.exe\"");
  line("  WriteRegStr HKLM " + Quoted(uninstallKey) + " \"DisplayName\" " + Quoted(package.name + " package"));
  line("  WriteRegStr HKLM " + Quoted(uninstallKey) + " \"UninstallString\" '\"$INSTDIR\\uninstall.exe\"'");
  line("SectionEnd");
  line("");

  // The uninstaller: what the install added, the last made first.
  line("Section \"Uninstall\"");
  deviceFiles.clear();
  for (auto step = package.steps.rbegin(); step != package.steps.rend(); ++step) {
    if (!step->added || skipped[static_cast<size_t>(package.steps.rend() - step - 1)]) continue;
    if (step->action == A::AddDeviceLine)
      DeviceLines(package, static_cast<size_t>(package.steps.rend() - step - 1), true, deviceFiles, line);
    const std::string path = PathOf(step->path, folders);
    const std::string key = KeyOf(step->path);
    switch (step->action) {
      case A::CopyFile: line("  Delete " + path); break;
      case A::MakeFolder:
        if (step->path.size() > kLongestFolder) LongFolder(step->path, false, folders, line);
        else line("  RMDir " + path);
        break;
      case A::MakeKey: if (!key.empty()) line("  DeleteRegKey /ifempty " + key); break;
      case A::SetValue:
        if (!key.empty()) line("  DeleteRegValue " + key + " " + Quoted(step->name));
        break;
      case A::SetIniKey:
        line("  DeleteINIStr " + path + " " + Quoted(step->name) + " " + Quoted(step->key));
        break;
      case A::MakeIniSection: line("  DeleteINISec " + path + " " + Quoted(step->name)); break;
      default: break;
    }
  }
  for (const std::string& file : iniFiles) line("  FlushINI " + file);
  line("  Delete \"$INSTDIR\\uninstall.exe\"");
  line("  RMDir \"$INSTDIR\"");
  line("  DeleteRegKey HKLM " + Quoted(uninstallKey));
  line("SectionEnd");
  return out;
}

}  // namespace engines
