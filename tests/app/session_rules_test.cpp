#include <gtest/gtest.h>

#include "app/mainu.h"
#include "app/install_program.h"
#include "app/windows_version.h"
#include "engines/helpers.h"

using app::ChooseModes;
using app::ModeChoices;

TEST(WindowsFacts, VersionTable) {
  struct Case {
    DWORD platform, major, minor;
    app::WindowsType type;
    const char* text;
  } cases[] = {
      {1, 4, 0, app::wtWin95, "Windows 95"},   {1, 4, 10, app::wtWin98, "Windows 98"},
      {1, 4, 90, app::wt9xOther, "Windows 9x?"}, {1, 5, 0, app::wt9xOther, "Windows 9x?"},
      {2, 3, 51, app::wtNt3, "Windows NT3"},   {2, 4, 0, app::wtNt4, "Windows NT4"},
      {2, 5, 1, app::wtNt5, "Windows NT5"},    {2, 6, 1, app::wtNtOther, "Windows NT?"},
      {0, 3, 10, app::wtUnknownPlatform, "Windows ???"},
  };
  for (const Case& c : cases) {
    app::WindowsFacts facts = app::ClassifyWindows(c.platform, c.major, c.minor);
    EXPECT_EQ(facts.type, c.type) << c.text;
    EXPECT_EQ(facts.text, c.text);
  }
  EXPECT_EQ(app::ClassifyWindows(1, 4, 10).currentVersionKey,
            "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
  EXPECT_EQ(app::ClassifyWindows(2, 4, 0).currentVersionKey,
            "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
  EXPECT_EQ(app::ClassifyWindows(0, 4, 0).currentVersionKey, "");
  // The test programs run as Windows 98 unless told otherwise.
  EXPECT_EQ(app::ThisWindows().platform, 1u);
}

TEST(SessionRules, StepMasksOfTheModes) {
  EXPECT_EQ(app::ModeMask(app::tmReal, app::itWin32), 0x839u);
  EXPECT_EQ(app::ModeMask(app::tmTime, app::itNone), 0x4FBu);
  EXPECT_EQ(app::ModeMask(app::tmDisk, app::itSetupInf), 0x3FFu);
  // DOS-based installs: only the disk steps, the install and the file-time check.
  EXPECT_EQ(app::ModeMask(app::tmDisk, app::itDosBatch), 0x30Cu);
  EXPECT_EQ(app::ModeMask(app::tmTime, app::itDosExe), 0x408u);
  EXPECT_EQ(app::ModeMask(app::tmDisk, app::itWin16), 0x3FFu);
}

namespace {
ModeChoices Modes(bool real, bool time, bool disk, int checked) {
  ModeChoices m;
  m.enabled[0] = real, m.enabled[1] = time, m.enabled[2] = disk, m.checked = checked;
  return m;
}
void ExpectModes(const ModeChoices& got, const ModeChoices& want, const char* what) {
  EXPECT_EQ(got.enabled[0], want.enabled[0]) << what;
  EXPECT_EQ(got.enabled[1], want.enabled[1]) << what;
  EXPECT_EQ(got.enabled[2], want.enabled[2]) << what;
  EXPECT_EQ(got.checked, want.checked) << what;
}
}  // namespace

TEST(SessionRules, ModeChoicesByInstallTypeThenWindows) {
  const ModeChoices all = Modes(true, true, true, app::tmReal);
  const ModeChoices none = Modes(false, false, false, 0);
  const ModeChoices timeChecked = Modes(true, true, true, app::tmTime);

  ExpectModes(ChooseModes(timeChecked, app::itMissing, app::wtWin98, true), none, "bad name");
  ExpectModes(ChooseModes(none, app::itWin32, app::wtWin95, true), all, "32-bit");
  ExpectModes(ChooseModes(timeChecked, app::itSetupInf, app::wtWin98, true), all, ".INF");
  ExpectModes(ChooseModes(all, app::itDosExe, app::wtWin98, true),
              Modes(false, true, true, app::tmDisk), "DOS from real-time");
  ExpectModes(ChooseModes(timeChecked, app::itWin16, app::wtWin98, true),
              Modes(false, true, true, app::tmTime), "16-bit keeps file-time");
  ExpectModes(ChooseModes(none, app::itDosCom, app::wtWin98, true),
              Modes(false, true, true, 0), "DOS from a bad name");

  ExpectModes(ChooseModes(none, app::itNone, app::wtNt4, true),
              Modes(false, true, true, app::tmDisk), "NT 4");
  ExpectModes(ChooseModes(timeChecked, app::itWin32, app::wtNt4, true),
              Modes(false, true, true, app::tmDisk), "NT 4 takes back real-time");
  for (app::WindowsType other : {app::wtNt5, app::wtNt3, app::wt9xOther, app::wtUnknownPlatform})
    ExpectModes(ChooseModes(all, app::itWin32, other, true), none, "no mode");

  // Without the process key real-time reporting never comes back.
  ExpectModes(ChooseModes(none, app::itWin32, app::wtWin98, false),
              Modes(false, true, true, app::tmDisk), "no real-time");
}
