// The package round trip, run in two stages by tests/e2e/package_roundtrip.sh, each in a
// fresh prefix: "record" tracks the sample install and makes its package with
// "VORTAN4.EXE /PACKAGE" into C:\pkgtest; the script builds setup.nsi with makensis and
// setup.wxs with wixl; "replay" tracks the built package, installed without questions on
// the same prepared 1.0 install, and its report must list the original's changes, but for
// what the package says it left out and the package's own uninstaller and entry; then the
// same for the Windows Installer package, as far as files, folders and values go.
#include <cstdlib>

#include "platform/system.h"
#include "sample_install.h"

namespace e2e {
namespace {

const char kStage[] = "C:\\pkgtest\\";
const char kPackage[] = "C:\\pkgtest\\package";

// What the package leaves out: what changed after the report (the test changes it).
const std::vector<std::string> kChangedSince = {R"(\\Read Me\.txt$)", R"(\\Options Name=)"};
// The package's own: its uninstaller, its folder and its uninstall entry.
const std::vector<std::string> kPackagesOwn = {
    R"(^c:\\program files(\\RPT_0000 package.*)?$)",
    R"(^HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall(\\RPT_0000 package.*)?$)"};

std::vector<std::string> Joined(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class PackageRoundTrip : public SampleInstall {
 protected:
  // What Wine changes in any session stays out of the package: its volatile keys cannot
  // be made again by an installer.
  void SetUp() override {
    SampleInstall::SetUp();
    const char* wine[] = {"hkey_users\\s-1-5-21-0-0-0-1000\\software\\wine",
                          "hkey_local_machine\\system\\currentcontrolset\\control\\video",
                          "hkey_local_machine\\system\\currentcontrolset\\control\\class",
                          "hkey_local_machine\\system\\currentcontrolset\\control\\servicecurrent"};
    for (int i = 0; i < 4; ++i)
      WritePrivateProfileStringA("Regs", std::to_string(i + 1).c_str(), wine[i], (folder / "VORTAN4.INI").c_str());
  }
  // The report's blocks of these headings only.
  static std::vector<Block> Blocks(const std::string& report, const std::vector<std::string>& headings) {
    std::vector<Block> kept;
    for (const Block& block : ParseTextReport(report).blocks)
      for (const std::string& heading : headings)
        if (block.heading.compare(0, heading.size(), heading) == 0) kept.push_back(block);
    return kept;
  }
};

TEST_F(PackageRoundTrip, ThePackageMakesTheSameChanges) {
  const char* stage = std::getenv("VORTAN4_PACKAGE_STAGE");
  if (!stage) GTEST_SKIP() << "tests/e2e/package_roundtrip.sh runs this test in its stages";
  const std::string original = std::string(kStage) + "original.txt";
  if (std::string(stage) == "record") {
    testing_support::RemoveTree(kStage);
    RunSession("win98", IDC_rbTmDisk);
    WriteBytes(std::string(kInstall) + "\\Writer\\Read Me.txt", "changed since the report");
    SetValue(HKEY_LOCAL_MACHINE, "Software\\Brindle\\Writer\\Options", "Name", REG_SZ, Sz("Changed"));
    // Nothing written: no report, or a folder that cannot be made (below a file).
    EXPECT_EQ(gui::App(exe, "/PACKAGE " + folder / "RPT_0009.TXT " + kPackage).WaitExit(), 2);
    EXPECT_EQ(gui::App(exe, "/PACKAGE " + folder / "RPT_0000.TXT " + folder / "RPT_0000.TXT\\p").WaitExit(), 2);
    EXPECT_EQ(GetFileAttributesA(kPackage), INVALID_FILE_ATTRIBUTES);
    // With the window open, as the command leaves it alone.
    EXPECT_EQ(gui::App(exe, "/PACKAGE " + folder / "RPT_0000.TXT " + kPackage).WaitExit(), 1);
    const std::string readme = ReadBytes(std::string(kPackage) + "\\README.TXT");
    for (const char* named : {"line [386Enh]device=C:\\windows\\system\\brwrt.386 of c:\\windows\\system.ini",
                              "line [386Enh]device=C:\\windows\\system\\brold.386 of c:\\windows\\system.ini",
                              "file c:\\program files\\Brindle\\Writer\\Read Me.txt: changed since the report",
                              "value HKEY_LOCAL_MACHINE\\Software\\Brindle\\Writer\\Options Name: changed since"})
      EXPECT_NE(readme.find(named), std::string::npos) << named << "\n" << readme;
    // Told to, the package takes what changed since the report as it is now.
    const std::string asNow = std::string(kStage) + "as now";
    EXPECT_EQ(gui::App(exe, "/PACKAGE " + folder / "RPT_0000.TXT \"" + asNow + "\" /ASNOW").WaitExit(), 1);
    EXPECT_EQ(ReadBytes(asNow + "\\README.TXT").find("since the report:"), std::string::npos);
    EXPECT_EQ(ReadBytes(asNow + "\\files\\PROGRAMFILES\\Brindle\\Writer\\Read Me.txt"), "changed since the report");
    EXPECT_NE(ReadBytes(asNow + "\\setup.nsi").find("\"Name\" \"Changed\""), std::string::npos);
    WriteBytes(original, folder.Read("RPT_0000.TXT"));
    return;
  }
  RunSession("win98", IDC_rbTmDisk, std::string(kPackage) + "\\setup.exe");
  const Incidental notInThePackage(Joined(kWineChangePatterns, kChangedSince));
  const Incidental notInTheOriginal(Joined(kWineChangePatterns, kPackagesOwn));
  EXPECT_EQ(notInTheOriginal.FilterText(ParseTextReport(folder.Read("RPT_0000.TXT")).blocks),
            notInThePackage.FilterText(ParseTextReport(ReadBytes(original)).blocks));

  // The uninstaller takes away what the install added and leaves what it changed; "_?="
  // runs it where it is, so that the test can wait for it.
  const std::string own = "C:\\Program Files\\RPT_0000 package";
  EXPECT_EQ(gui::App(own + "\\uninstall.exe", "/S _?=" + own).WaitExit(), 0);
  for (const char* added : {"Brindle\\Writer\\Help", "Brindle\\Writer\\Empty Folder",
                            "Common Files\\Brindle"})
    EXPECT_EQ(GetFileAttributesA((std::string("C:\\Program Files\\") + added).c_str()),
              INVALID_FILE_ATTRIBUTES) << added;
  EXPECT_EQ(GetFileAttributesA(kSystemDll), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA("C:\\Program Files\\Brindle\\Writer\\writer.dat"), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(platform::OpenRegistryKey(HKEY_LOCAL_MACHINE, "Software\\Brindle\\Writer\\Options", KEY_READ));
  EXPECT_FALSE(platform::OpenRegistryKey(HKEY_CURRENT_USER, "Software\\Brindle", KEY_READ));
  EXPECT_FALSE(platform::OpenRegistryKey(
      HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RPT_0000 package", KEY_READ));
  EXPECT_TRUE(platform::OpenRegistryKey(HKEY_LOCAL_MACHINE, "Software\\Brindle\\Writer", KEY_READ));
  char fresh[8] = "";
  GetPrivateProfileStringA("New Section", "Fresh", "gone", fresh, sizeof fresh, kBrindleIni);
  EXPECT_STREQ(fresh, "gone");
  const std::string systemIni = ReadBytes(kSystemIni);
  EXPECT_EQ(systemIni.find("brwrt.386"), std::string::npos) << systemIni;
}

// wixl has no elements for deletions or INI files: the MSI adds and changes files, folders
// and registry values, and the Windows Installer registers the package for itself.
TEST_F(PackageRoundTrip, TheWindowsInstallerPackageAddsTheSameFilesAndValues) {
  const char* stage = std::getenv("VORTAN4_PACKAGE_STAGE");
  if (!stage || std::string(stage) != "replay") GTEST_SKIP() << "the replay stage only";
  RunSession("win98", IDC_rbTmDisk, "C:\\windows\\system32\\msiexec.exe",
             std::string("/i ") + kPackage + "\\setup.msi /qn");
  const std::vector<std::string> added = {"REGISTRY KEYS ADDED", "REGISTRY KEY VALUES ADDED",
                                          "REGISTRY KEY VALUES CHANGED", "FILES AND DIRECTORIES ADDED"};
  const Incidental registration(Joined(kWineChangePatterns, {
      R"(^c:\\windows\\Installer(\\|$))",
      R"(\\Software\\Microsoft\\Windows\\CurrentVersion\\(Installer|Uninstall)(\\|$))",
      R"(\\Software\\Microsoft\\Installer(\\|$))"}));
  EXPECT_EQ(registration.FilterText(Blocks(folder.Read("RPT_0000.TXT"), added)),
            Incidental(Joined(kWineChangePatterns, kChangedSince))
                .FilterText(Blocks(ReadBytes(std::string(kStage) + "original.txt"), added)));
}

}  // namespace
}  // namespace e2e
