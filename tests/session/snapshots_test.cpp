// The names of a session's snapshot files, made in one place.
#include <gtest/gtest.h>

#include "engines/helpers.h"
#include "session/snapshots.h"

TEST(SnapshotNames, EveryFileOfASession) {
  std::vector<std::string> files = session::SnapshotNames("c:\\temp\\").All(
      {"c:\\windows\\win.ini", "system.ini", "d:\\app\\noext"});
  // A name without a folder lies in the Windows folder, in the case the system gives it.
  for (size_t i = 6; i < files.size(); ++i) files[i] = engines::LowerAscii(files[i]);
  EXPECT_EQ(files, (std::vector<std::string>{
                       "c:\\temp\\VORTAN$$.$$1", "c:\\temp\\VORTAN$$.$$2",
                       "c:\\temp\\REG$$$$$.$$1", "c:\\temp\\REG$$$$$.$$2",
                       "c:\\temp\\DEV$$$$$.$$1", "c:\\temp\\DEV$$$$$.$$2",
                       "c:\\temp\\c__windows_win.$$1", "c:\\temp\\c__windows_win.$$2",
                       "c:\\temp\\c__windows_win.$b1", "c:\\temp\\c__windows_system.$$1",
                       "c:\\temp\\c__windows_system.$$2", "c:\\temp\\c__windows_system.$b1",
                       "c:\\temp\\d__app_noext.$$1", "c:\\temp\\d__app_noext.$$2",
                       "c:\\temp\\d__app_noext.$b1"}));
}
