// The package folder: the payload copied from where the install put it, the two scripts
// and the README.TXT that says how to build them and what they leave out.
#include <windows.h>

#include <stdexcept>

#include "engines/helpers.h"
#include "engines/package.h"
#include "platform/changes.h"
#include "platform/directory.h"
#include "platform/ioerror.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "platform/textfile.h"

namespace engines {
namespace {

// Makes a folder and the folders above it.
LONG MakeFolders(const std::string& path) {
  for (size_t slash = path.find('\\', 3); slash != std::string::npos; slash = path.find('\\', slash + 1))
    platform::MakeFolder(path.substr(0, slash));
  return platform::MakeFolder(path);
}

void WriteFile(const std::string& path, const std::string& text) {
  platform::BufferedWriter out(path);
  out.Write(text);
  out.Close();
}

// The text in UTF-8, from this machine's ANSI code page.
std::string Utf8Of(const std::string& ansi) {
  if (ansi.empty()) return "";
  std::wstring wide(ansi.size(), L'\0');
  const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(),
                                         static_cast<int>(wide.size()));
  std::string out;
  for (int i = 0; i < length; ++i) {
    const unsigned c = wide[static_cast<size_t>(i)];
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// The names in a folder, without "." and "..".
std::vector<platform::FolderEntry> EntriesOf(const std::string& folder) {
  std::vector<platform::FolderEntry> entries;
  platform::FolderSearch search(folder);
  platform::FolderEntry entry;
  while (search.Next(entry))
    if (entry.name != "." && entry.name != "..") entries.push_back(entry);
  return entries;
}

// Deletes everything in the folder, read-only files too; the folder stays.
void DeleteContents(const std::string& folder) {
  for (const platform::FolderEntry& entry : EntriesOf(folder)) {
    const std::string path = folder + "\\" + entry.name;
    if (entry.IsFolder()) {
      DeleteContents(path);
      platform::RemoveFolder(path);
    } else {
      platform::RemoveFile(path);
    }
  }
}

std::string ReadmeHead(const std::string& report) { return " package, made by Vortan4 from " + report; }

void ListNotes(std::vector<std::string>& lines, const std::string& heading,
               const std::vector<PackageNote>& notes) {
  if (notes.empty()) return;
  lines.push_back(heading + " (" + std::to_string(notes.size()) + ")");
  for (const PackageNote& note : notes) lines.push_back("  " + note.what + ": " + note.why);
  lines.push_back("");
}

}  // namespace

std::vector<std::string> PackageSummary(const Package& package, const PackageResult& result,
                                        const std::string& folder) {
  std::vector<std::string> lines = {
      "Package of " + package.report + " written to " + folder + ": " +
      std::to_string(package.steps.size()) + " changes" +
      (result.Complete(package) ? "." : "; left out, as README.TXT lists:")};
  for (const PackageNote& note : package.leftOut) lines.push_back("left out: " + note.what + ": " + note.why);
  for (const PackageNote& note : result.leftOutOfNsis)
    lines.push_back("left out of setup.nsi: " + note.what + ": " + note.why);
  for (const PackageNote& note : result.leftOutOfWix)
    lines.push_back("left out of setup.wxs: " + note.what + ": " + note.why);
  return lines;
}

std::string PackageFolderRefusal(const std::string& folder, const std::string& report) {
  const std::string top = WithoutTrailingBackslash(folder);
  if (!platform::FolderExists(top)) {
    if (platform::FileExists(top)) return top + " is a file";
    return "";
  }
  if (EntriesOf(top).empty()) return "";
  const std::string readme = top + "\\README.TXT", head = LowerAscii(ReadmeHead(report));
  std::string first;
  if (platform::FileExists(readme) && platform::BufferedReader(readme).ReadLine(first) &&
      first.size() >= head.size() && LowerAscii(first).compare(first.size() - head.size(), head.size(), head) == 0)
    return "";
  return "the folder " + top + " is not empty and holds no earlier package of " + report +
         ": choose an empty folder or make a new one";
}

PackageResult WritePackage(Package& package, const std::string& folder) {
  const std::string top = WithoutTrailingBackslash(folder);
  if (const std::string why = PackageFolderRefusal(top, package.report); !why.empty())
    throw std::runtime_error(why);
  // An earlier package of the report goes whole: none of its payload may linger.
  if (platform::FolderExists(top)) DeleteContents(top);
  if (LONG code = MakeFolders(top); code != ERROR_SUCCESS)
    throw platform::IoError("Create folder", top, static_cast<DWORD>(code));

  // The payload; a file that cannot be copied is left out.
  std::vector<PackageStep> kept;
  for (PackageStep& step : package.steps) {
    if (step.action == PackageAction::CopyFile) {
      const std::string copy = top + "\\" + step.data;
      MakeFolders(WithoutTrailingBackslash(platform::FolderOf(copy)));
      if (LONG code = platform::CopyFileOver(step.path, copy); code != ERROR_SUCCESS) {
        const platform::IoError error("Copy", step.path, static_cast<DWORD>(code));
        package.leftOut.push_back({DescribeStep(step), std::string("cannot be copied: ") + error.what()});
        continue;
      }
    }
    kept.push_back(step);
  }
  package.steps = kept;
  // The values the NSIS script writes from files.
  for (size_t index = 0; index < package.steps.size(); ++index) {
    const PackageStep& step = package.steps[index];
    if (step.action != PackageAction::SetValue || step.data.empty() || !NsisValueLine(step).empty()) continue;
    const std::string data = top + "\\" + NsisValueDataPath(index);
    MakeFolders(WithoutTrailingBackslash(platform::FolderOf(data)));
    WriteFile(data, step.data);
  }

  PackageResult result;
  WriteFile(top + "\\setup.nsi", "\xEF\xBB\xBF" + Utf8Of(NsisScript(package, result.leftOutOfNsis)));
  WriteFile(top + "\\setup.wxs", Utf8Of(WixScript(package, result.leftOutOfWix)));

  std::vector<std::string> lines = {
      package.name + ReadmeHead(package.report),
      "",
      "The two installer sources here make the changes of the install that the report",
      "recorded, with the files they copy in files\\. Files, registry values and INI keys are",
      "as they were when the package was made; an added file, a value or an INI key that",
      "changed since the report is left out and listed below, unless the package was made",
      "to take such changes as they are now (a changed file is taken as it is now).",
      "",
      "setup.nsi (NSIS)",
      "  Build:      makensis setup.nsi   (makes setup.exe)",
      "  Install:    setup.exe, or without questions: setup.exe /S",
      "  Uninstall:  \"" + package.folders.programFiles + "\\" + package.name +
          " package\\uninstall.exe\" /S, or the entry \"" + package.name + " package\" of",
      "              Add/Remove Programs; it removes what the install added",
      "",
      "setup.wxs (Windows Installer)",
      "  Build:      wixl -o setup.msi setup.wxs",
      "              (or with the WiX tools: candle setup.wxs, then light setup.wixobj)",
      "  Install:    msiexec /i setup.msi /qn",
      "  Uninstall:  msiexec /x setup.msi /qn",
      "",
  };
  const size_t before = lines.size();
  ListNotes(lines, "LEFT OUT OF BOTH:", package.leftOut);
  ListNotes(lines, "LEFT OUT OF setup.nsi:", result.leftOutOfNsis);
  ListNotes(lines, "LEFT OUT OF setup.wxs:", result.leftOutOfWix);
  if (lines.size() == before) lines.insert(lines.end(), {"Both sources hold every change.", ""});
  ListNotes(lines, "NOT PACKAGED, AS NOT THE INSTALL'S OWN:", package.notPackaged);
  platform::BufferedWriter readme(top + "\\README.TXT");
  for (const std::string& text : lines) readme.WriteLine(text);
  readme.Close();
  return result;
}

}  // namespace engines
