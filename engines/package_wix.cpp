// The package as a Windows Installer source for wixl (and the WiX tools): a component for
// each file, folder and registry value. The Windows Installer removes its components again
// when the package is uninstalled.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <set>

#include "engines/helpers.h"
#include "engines/package.h"
#include "platform/paths.h"

namespace engines {
namespace {

using A = PackageAction;

// A stable GUID for a name, so that building the source twice gives the same package.
std::string GuidOf(const std::string& name) {
  uint64_t a = 1469598103934665603ull, b = 1099511628211ull * 31;
  for (unsigned char c : name) {
    a = (a ^ c) * 1099511628211ull;
    b = (b ^ c) * 1099511628211ull + 7;
  }
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-4%03X-A%03X-%012llX}", static_cast<unsigned>(a >> 32),
                static_cast<unsigned>(a >> 16 & 0xFFFF), static_cast<unsigned>(a & 0xFFF),
                static_cast<unsigned>(b >> 48 & 0xFFF), static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
  return text;
}

// The Windows Installer formats registry keys, names and values: "[" and "]" are escaped.
std::string Formatted(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '[' ? "[\\[]" : c == ']' ? "[\\]]" : std::string(1, c);
  return out;
}

std::string Attribute(const char* name, const std::string& value) {
  return std::string(" ") + name + "=\"" + XmlText(value) + "\"";
}

// The strings of a REG_MULTI_SZ value; false when one is empty, which the installer's
// "[~]" separator cannot say.
bool Strings(const std::string& data, std::vector<std::string>& strings) {
  size_t start = 0;
  while (start < data.size() && data[start] != '\0') {
    const size_t end = data.find('\0', start);
    strings.push_back(data.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return !strings.empty() && (start >= data.size() || data.substr(start).find_first_not_of('\0') == std::string::npos);
}

// Text XML 1.0 holds: no control character but tab, CR and LF (a NUL only where the
// caller splits on it).
bool XmlHolds(const std::string& text, bool nulSeparates = false) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 32 && c != '\t' && c != '\r' && c != '\n' && !(c == '\0' && nulSeparates))
      return false;
  return true;
}

// Whether wixl's preprocessor gives the text back as it is, once "$" is doubled: it reads
// "$$(" as a variable still, and after "$$" it drops a backslash or another dollar.
bool WixlSays(const std::string& text) {
  for (size_t dollar = text.find('$'); dollar != std::string::npos; dollar = text.find('$', dollar + 1))
    if (dollar + 1 < text.size() && std::string("$(\\").find(text[dollar + 1]) != std::string::npos) return false;
  return true;
}

// The Windows Installer drops a leading space of a folder or file name.
bool NameLosesSpace(const std::string& rest) {
  return (!rest.empty() && rest[0] == ' ') || rest.find("\\ ") != std::string::npos;
}

struct Folder {
  std::string id;
  std::string name;
  std::map<std::string, size_t> children;  // by lower-case name
  std::vector<std::string> components;     // the elements, already written
};

}  // namespace

std::string XmlText(const std::string& text) {
  std::string out;
  char reference[8];
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '$': out += "$$"; break;  // wixl's preprocessor takes "$(" for a variable
      default:
        if (static_cast<unsigned char>(c) < 32) {
          std::snprintf(reference, sizeof reference, "&#x%X;", static_cast<unsigned char>(c));
          out += reference;
        } else {
          out += c;
        }
    }
  }
  return out;
}

namespace {

// "<RegistryValue Root=.. Key=.." for a key path with its root; "" for a root the
// installer does not know.
std::string RegistryElement(const std::string& keyPath, const std::string& indent) {
  const size_t slash = keyPath.find('\\');
  const std::string root = LowerAscii(keyPath.substr(0, slash));
  const char* shortRoot = root == "hkey_local_machine"  ? "HKLM"
                          : root == "hkey_current_user" ? "HKCU"
                          : root == "hkey_users"        ? "HKU"
                                                        : nullptr;
  if (!shortRoot || slash == std::string::npos) return "";
  return indent + "<RegistryValue" + Attribute("Root", shortRoot) +
         Attribute("Key", Formatted(keyPath.substr(slash + 1)));
}

}  // namespace

std::string WixValueElement(const PackageStep& step, const std::string& indent) {
  std::string element = RegistryElement(step.path, indent);
  if (element.empty()) return "";
  if (!step.name.empty()) element += Attribute("Name", Formatted(step.name));
  // A string with a NUL inside has no form in the installer's registry table.
  std::string text = step.data;
  if (!text.empty() && text.back() == '\0') text.pop_back();
  if ((step.type == REG_SZ || step.type == REG_EXPAND_SZ) && text.find('\0') != std::string::npos) return "";
  // wixl writes the expandable and binary types as plain strings; its integer type passes
  // the installer's own "#" prefix through, and "#%" and "#x" are those types' prefixes.
  switch (step.type) {
    case REG_SZ:
      if (text.empty()) return "";  // an empty value is no value to the installer
      return element + Attribute("Type", "string") + Attribute("Value", Formatted(text)) + "/>";
    case REG_EXPAND_SZ:
      return element + Attribute("Type", "integer") + Attribute("Value", "%" + Formatted(text)) + "/>";
    case REG_DWORD: {
      if (step.data.size() != 4) return "";
      int32_t number = 0;
      for (int i = 3; i >= 0; --i) number = static_cast<int32_t>(static_cast<uint32_t>(number) << 8 | static_cast<unsigned char>(step.data[i]));
      return element + Attribute("Type", "integer") + Attribute("Value", std::to_string(number)) + "/>";
    }
    case REG_BINARY:
      return element + Attribute("Type", "integer") + Attribute("Value", "x" + HexDigits(step.data)) + "/>";
    case REG_MULTI_SZ: {
      // "a[~]b" replaces a value; a single string "a[~]" would be put before an old one.
      std::vector<std::string> strings;
      if (!Strings(step.data, strings) || (strings.size() == 1 && !step.added)) return "";
      std::string joined;
      for (const std::string& one : strings) joined += (joined.empty() ? "" : "[~]") + Formatted(one);
      if (strings.size() == 1) joined += "[~]";
      return element + Attribute("Type", "multistring") + Attribute("Value", joined) + "/>";
    }
    default: return "";
  }
}

std::string WixScript(const Package& package, std::vector<PackageNote>& leftOut) {
  // The folder tree: the three installer folders and the drive ROOTDRIVE names.
  std::vector<Folder> folders = {{"ProgramFilesFolder", "", {}, {}}, {"WindowsFolder", "", {}, {}},
                                 {"SystemFolder", "", {}, {}}, {"TARGETDIR", "SourceDir", {}, {}}};
  std::string drive;  // the one drive the source places files on
  std::vector<std::string> registry, references;
  auto folderOf = [&](const InstallerPath& path) {
    size_t at = path.root == PackageRoot::Drive ? 3 : static_cast<size_t>(path.root);
    size_t start = 0;
    while (start < path.rest.size()) {
      size_t end = path.rest.find('\\', start);
      if (end == std::string::npos) end = path.rest.size();
      const std::string name = path.rest.substr(start, end - start);
      auto found = folders[at].children.find(LowerAscii(name));
      if (found == folders[at].children.end()) {
        folders.push_back({"d" + std::to_string(folders.size()), name, {}, {}});
        found = folders[at].children.emplace(LowerAscii(name), folders.size() - 1).first;
      }
      at = found->second;
      start = end + 1;
    }
    return at;
  };
  auto component = [&](const std::string& id, const std::string& body) {
    references.push_back("      <ComponentRef Id=\"" + id + "\"/>");
    return "<Component Id=\"" + id + "\" Guid=\"" + GuidOf(package.name + "|" + id + "|" + body) +
           "\">" + body + "</Component>";
  };
  const char* noElement = "wixl, which builds setup.wxs, has no element for deletions or INI files";
  int count = 0;
  for (const PackageStep& step : package.steps) {
    const std::string id = std::to_string(++count);
    const bool isFile = step.action == A::MakeFolder || step.action == A::CopyFile;
    if (isFile || step.action == A::MakeKey || step.action == A::SetValue) {
      // One element XML or the installer cannot hold would cost the whole package.
      const bool text = step.type != REG_BINARY && step.type != REG_DWORD;
      if (!XmlHolds(step.path + step.name) ||
          (step.action == A::SetValue && text && !XmlHolds(step.data, true))) {
        leftOut.push_back({DescribeStep(step), "a control character, which XML 1.0 cannot hold"});
        continue;
      }
      // A file's path goes into names one level each, a key's whole.
      std::string said = step.path;
      if (isFile) std::replace(said.begin(), said.end(), '\\', '/');
      if (!WixlSays(said) || !WixlSays(step.name) || (step.action == A::SetValue && text && !WixlSays(step.data))) {
        leftOut.push_back({DescribeStep(step),
                           "\"$\" before \"$\", \"(\" or \"\\\", which wixl's preprocessor cannot take"});
        continue;
      }
      if (isFile && NameLosesSpace(SplitInstallerPath(step.path, package.folders).rest)) {
        leftOut.push_back({DescribeStep(step), "a name that begins with a space, which the Windows Installer drops"});
        continue;
      }
    }
    switch (step.action) {
      case A::MakeFolder: case A::CopyFile: {
        InstallerPath path = SplitInstallerPath(step.path, package.folders);
        if (path.root == PackageRoot::Drive) {
          if (drive.empty()) drive = LowerAscii(path.drive);
          if (LowerAscii(path.drive) != drive) {
            leftOut.push_back({DescribeStep(step), "setup.wxs places files on one drive, " + drive});
            break;
          }
        }
        if (step.action == A::MakeFolder) {
          folders[folderOf(path)].components.push_back(component("c" + id, "<CreateFolder/>"));
          break;
        }
        const std::string name = platform::FileNameOf(path.rest);
        path.rest = WithoutTrailingBackslash(platform::FolderOf(path.rest));
        std::string source = step.data;
        for (char& c : source) c = c == '\\' ? '/' : c;
        folders[folderOf(path)].components.push_back(component(
            "c" + id, "<File Id=\"f" + id + "\"" + Attribute("Name", name) + Attribute("Source", source) +
                          " KeyPath=\"yes\"/>"));
        break;
      }
      case A::MakeKey: {
        bool hasValue = false;
        for (const PackageStep& other : package.steps)
          hasValue = hasValue || (other.action == A::SetValue && LowerAscii(other.path) == LowerAscii(step.path));
        if (hasValue) break;
        // "+" is the installer's name for "make the key"; wixl asserts on a value without a Value.
        const std::string element = RegistryElement(step.path, "");
        if (element.empty())
          leftOut.push_back({DescribeStep(step), "the Windows Installer writes no key below that root"});
        else
          registry.push_back(component("r" + id, element + " Name=\"+\" Type=\"string\" Value=\"\"/>"));
        break;
      }
      case A::SetValue: {
        const std::string element = WixValueElement(step, "");
        if (element.empty())
          leftOut.push_back({DescribeStep(step), "the Windows Installer has no form for data of type " +
                                                     std::to_string(step.type) + " and " +
                                                     std::to_string(step.data.size()) + " bytes"});
        else
          registry.push_back(component("r" + id, element));
        break;
      }
      default: leftOut.push_back({DescribeStep(step), noElement});
    }
  }

  std::string out;
  auto line = [&](const std::string& text) { out += text + "\r\n"; };
  // WritePackage writes the file in UTF-8: windows-1252 leaves five bytes undefined,
  // and this machine's code page may be another.
  std::string report = package.report;
  for (size_t dashes; (dashes = report.find("--")) != std::string::npos;) report.replace(dashes, 2, "- -");
  line("<?xml version=\"1.0\" encoding=\"utf-8\"?>");
  line("<!-- Made by Vortan4 from " + report + ": the changes of the install it recorded.");
  line("     Build: wixl -o setup.msi setup.wxs    Install without questions: msiexec /i setup.msi /qn");
  line("     See README.TXT for what is left out. -->");
  line("<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">");
  line("  <Product Id=\"*\"" + Attribute("Name", package.name + " package") +
       " Language=\"1033\" Version=\"1.0.0\" Manufacturer=\"Vortan4\" UpgradeCode=\"" +
       GuidOf("upgrade|" + package.name) + "\">");
  line("    <Package InstallerVersion=\"200\" Compressed=\"yes\" InstallScope=\"perMachine\"" +
       Attribute("Description", package.name + " package") + "/>");
  line("    <Media Id=\"1\" Cabinet=\"setup.cab\" EmbedCab=\"yes\"/>");
  std::string root = drive.empty() ? "c:" : drive;
  root[0] = static_cast<char>(toupper(static_cast<unsigned char>(root[0])));
  line("    <Property Id=\"ROOTDRIVE\"" + Attribute("Value", root + "\\") + "/>");
  // Writes a folder with its components and subfolders.
  std::function<void(size_t, const std::string&)> write = [&](size_t at, const std::string& indent) {
    const Folder& folder = folders[at];
    line(indent + "<Directory Id=\"" + folder.id + "\"" +
         (folder.name.empty() ? "" : Attribute("Name", folder.name)) +
         (folder.components.empty() && folder.children.empty() && at != 3 ? "/>" : ">"));
    if (folder.components.empty() && folder.children.empty() && at != 3) return;
    if (at == 3)
      for (size_t top = 0; top < 3; ++top) write(top, indent + "  ");
    for (const std::string& element : folder.components) line(indent + "  " + element);
    for (const auto& child : folder.children) write(child.second, indent + "  ");
    if (at == 3)
      for (const std::string& element : registry) line(indent + "  " + element);
    line(indent + "</Directory>");
  };
  write(3, "    ");
  line("    <Feature Id=\"Complete\" Level=\"1\">");
  for (const std::string& reference : references) line(reference);
  line("    </Feature>");
  line("  </Product>");
  line("</Wix>");
  return out;
}

}  // namespace engines
