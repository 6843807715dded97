// The package round trip on the installer corpus, in three fresh prefixes prepared alike
// by tests/e2e/corpus.sh: "TrackedAndPackaged" tracks each installer through the window
// and makes its package with "VORTAN4.EXE /PACKAGE" into D:\packages\<installer>, with the
// installer's changes as the program's own listings show them (original.txt); the script
// builds setup.nsi with makensis and setup.wxs with wixl; in the second prefix each NSIS
// package, installed without questions, must make the same changes, files byte for byte
// and values with their data; in the third, each Windows Installer package the same files,
// folders and values added or changed (wixl has no elements for deletions or INI files).
#include <algorithm>
#include <fstream>

#include "corpus_fixture.h"

namespace e2e {
namespace {

// What a package leaves out as the installer engine's own, and what its own engine makes:
// the Windows Installer's cache and registration.
const Incidental kInstallerEngine({
    R"(^path[-+~] c:\\windows\\installer(\\|$))",
    R"(^(key|val)[-+~] [^|]*\\software\\microsoft\\windows\\currentversion\\installer(\\|\||$))",
    R"(^(key|val)[-+~] [^|]*\\software\\microsoft\\installer(\\|\||$))",
    R"(^(key|val)[-+~] hkey_local_machine\\software\\microsoft\\windows\\currentversion\\uninstall\\\{[-0-9a-f]{36}\}(\\|\||$))",
});
// The NSIS package's own uninstaller and uninstall entry, named after the installation.
const Incidental kPackagesOwn({
    R"(^path[-+~] c:\\program files\\[^\\|]+ package(\\|$| ))",
    R"(^(key|val)[-+~] hkey_local_machine\\software\\microsoft\\windows\\currentversion\\uninstall\\[^\\|]+ package(\\|\||$))",
});

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class CorpusPackage : public CorpusInstall {
 protected:
  std::string Package() const { return std::string("D:\\packages\\") + GetParam(); }

  // The changes of an install of the package, set against the original's: the same, but
  // for what is not the install's own and, for the Windows Installer package, the kinds
  // it cannot make.
  void InstallAndCompare(const std::string& program, const std::string& arguments, bool windowsInstaller) {
    const std::string readme = engines::LowerAscii(ReadBytes(Package() + "\\README.TXT"));
    const std::string leftOutOfWix = readme.substr(std::min(readme.find("left out of setup.wxs"), readme.size()));
    auto kept = [&](const std::vector<std::string>& changes) {
      std::vector<std::string> left;
      for (const std::string& change : changes) {
        const bool madeByWix = change.rfind("path+", 0) == 0 || change.rfind("key+", 0) == 0 ||
                               change.rfind("val+", 0) == 0 || change.rfind("val~", 0) == 0 ||
                               change.rfind("path~", 0) == 0;
        if (kInstallerEngine.Matches(change) || kPackagesOwn.Matches(change)) continue;
        if (windowsInstaller && (!madeByWix || IsIniFile(change))) {
          std::cout << "not made by the Windows Installer package: " << change << "\n";
          EXPECT_NE(leftOutOfWix.find(PlaceOf(change)), std::string::npos)
              << "README.TXT does not name " << change << " as left out of setup.wxs";
          continue;
        }
        left.push_back(change);
      }
      std::sort(left.begin(), left.end());
      return left;
    };
    const std::vector<std::string> original = Lines(ReadBytes(Package() + "\\original.txt"));
    ASSERT_FALSE(original.empty()) << "no changes of the original install";
    RecordMachine(".b");
    EXPECT_EQ(gui::App(program, arguments).WaitExit(gui_tests::kSessionTimeout), 0) << program;
    RecordMachine(".a");
    EXPECT_EQ(kept(MachineDifferences(".b", ".a")), kept(original));
  }

  // The file, folder or key of a change, as the README names it.
  static std::string PlaceOf(const std::string& change) {
    std::string place = change.substr(change.find(' ') + 1);
    place = place.substr(0, std::min({place.find(" #"), place.find('|'), place.size()}));
    const std::string user = "hkey_users\\s-1-5-21-0-0-0-1000";
    if (place.compare(0, user.size(), user) == 0) place = "hkey_current_user" + place.substr(user.size());
    return place;
  }

  // An INI file's changes are its keys and lines; the Windows Installer package does not
  // make them.
  static bool IsIniFile(const std::string& change) {
    const std::string path = change.substr(0, change.find(" #"));
    return path.size() > 4 && path.compare(path.size() - 4, 4, ".ini") == 0;
  }
};

// Disk contents mode for the first installers, real-time mode for the rest: a package is
// made from the report of either.
TEST_P(CorpusPackage, TrackedAndPackaged) {
  const bool realTime = std::string(GetParam()) >= "a5";
  RecordMachine(".b");
  ASSERT_NO_FATAL_FAILURE(TrackTheInstaller(realTime ? IDC_rbTmReal : IDC_rbTmDisk));
  RecordMachine(".a");
  const std::vector<std::string> changes = MachineDifferences(".b", ".a");
  ASSERT_FALSE(changes.empty());
  testing_support::RemoveTree(Package());
  const long made = gui::App(exe, "/PACKAGE " + folder / "RPT_0000.TXT " + Package()).WaitExit();
  EXPECT_TRUE(made == 0 || made == 1) << made;
  std::ofstream original(Package() + "\\original.txt", std::ios::binary);
  for (const std::string& change : changes) original << change << "\n";
  std::cout << ReadBytes(Package() + "\\README.TXT");
}

TEST_P(CorpusPackage, NsisPackageMakesTheSameChanges) {
  InstallAndCompare(Package() + "\\setup.exe", "/S", false);
}

TEST_P(CorpusPackage, WindowsInstallerPackageMakesTheSameFilesAndValues) {
  char msiexec[MAX_PATH] = "";
  ASSERT_TRUE(SearchPathA(nullptr, "msiexec.exe", nullptr, MAX_PATH, msiexec, nullptr));
  InstallAndCompare(msiexec, "/i " + Package() + "\\setup.msi /qn", true);
}

INSTANTIATE_TEST_SUITE_P(SetA, CorpusPackage, ::testing::ValuesIn(kCorpusInstallers), CorpusTestName);

}  // namespace
}  // namespace e2e
