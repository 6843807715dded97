#include <gtest/gtest.h>
#include <windows.h>

#include "app/install_program.h"
#include "support/sample_programs.h"

using app::ClassifyInstallProgram;
using testing_support::TempFolder;

namespace {

constexpr DWORD k95Family = VER_PLATFORM_WIN32_WINDOWS;
constexpr DWORD kNtFamily = VER_PLATFORM_WIN32_NT;

}  // namespace

TEST(InstallProgram, NamesJudgedBeforeTheFileIsLookedAt) {
  TempFolder folder;
  folder.MakeFolder("my.dir");
  folder.Write("setup.ex", "");
  for (DWORD platform : {k95Family, kNtFamily}) {
    EXPECT_EQ(ClassifyInstallProgram("", platform), app::itNone);
    EXPECT_EQ(ClassifyInstallProgram("setup", platform), app::itNoExtension);
    // Two characters after the dot are too few, even for a file that exists.
    EXPECT_EQ(ClassifyInstallProgram(folder / "setup.ex", platform), app::itNoExtension);
    EXPECT_EQ(ClassifyInstallProgram("a.bcd", platform), app::itMissing);
    // The first dot may sit in a folder name: it is still the one that counts.
    EXPECT_EQ(ClassifyInstallProgram(folder / "my.dir\\setup", platform), app::itMissing);
    EXPECT_EQ(ClassifyInstallProgram("x.b", platform), app::itNoExtension);
  }
}

TEST(InstallProgram, KindsByBothMethods) {
  TempFolder folder;
  testing_support::WriteWin32Program(folder, "setup.exe");
  testing_support::WriteDosProgram(folder, "dosinst.exe");
  testing_support::WriteDosProgram(folder, "dosinst.dat");
  testing_support::WriteComProgram(folder, "dosinst.com");
  folder.Write("install.bat", "@echo off\r\n");
  folder.Write("setup.inf", "[Version]\r\n");
  folder.Write("readme.txt", "text");
  struct Case {
    const char* name;
    app::InstallType shell, binary;
  } cases[] = {
      {"setup.exe", app::itWin32, app::itWin32},
      {"dosinst.exe", app::itDosExe, app::itDosExe},
      {"DOSINST.COM", app::itDosCom, app::itDosCom},
      {"dosinst.dat", app::itNotExecutable, app::itNotExecutable},
      // Wine's shell gives no type for batch files; the binary type knows neither.
      {"install.bat", app::itNotExecutable, app::itNotExecutable},
      {"setup.inf", app::itSetupInf, app::itNotExecutable},
      {"readme.txt", app::itNotExecutable, app::itNotExecutable},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyInstallProgram(folder / c.name, k95Family), c.shell) << c.name;
    EXPECT_EQ(ClassifyInstallProgram(folder / c.name, kNtFamily), c.binary) << c.name;
  }
}
