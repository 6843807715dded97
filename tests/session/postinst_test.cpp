// The post-install work as the main window runs it: the steps of the mask, in their order,
// each with its eye move; an abort between steps; an error part-way through.
#include "session/postinst.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engines/disk.h"
#include "engines/helpers.h"
#include "engines/ini.h"
#include "platform/ioerror.h"
#include "report/session.h"
#include "support/own_process.h"
#include "support/temp_folder.h"

using namespace session;
using testing_support::TempFolder;

namespace {

// The text form's heading of each comparison step.
struct Heading {
  Step step;
  const char* text;
};
const Heading kHeadings[] = {
    {stIniCompare, "CHANGES MADE TO "},
    {stRegistryCompare, "REGISTRY KEYS DELETED: (1)"},
    {stDiskCompare, "FILES AND DIRECTORIES ADDED: (1)"},
    {stFileTimes, "FILES AND DIRECTORIES ADDED OR CHANGED: "},
};

// An install seen by all steps: an INI key changed, a key gone from below HKEY_LOCAL_MACHINE
// (both roots are otherwise ignored, so the registry steps take no time) and a file added.
class PostInstall {
 public:
  PostInstall() {
    folder.MakeFolder("temp");
    folder.MakeFolder("report");
    folder.Write("watched\\old.txt", "old");
    folder.Write("app.ini", "[s]\r\nk=1\r\n");
    run.reportName = folder / "report\\RPT.TXT";
    run.reportFolder = folder / "report\\";
    run.tempFolder = folder / "temp\\";
    run.programFolder = "c:\\nowhere\\";
    run.watchedFolders.entries = {engines::LowerAscii(folder / "watched")};
    run.watchedInis = {engines::LowerAscii(folder / "app.ini")};
    run.ignoredKeys.entries = {"hkey_local_machine", "hkey_users"};
    folder.Write("temp\\REG$$$$$.$$1", "00HKEY_USERS\r\n00HKEY_LOCAL_MACHINE\r\n10VortanGone\r\n");
    engines::SnapshotIniFile(run.watchedInis[0], run.tempFolder, ".$$1");
    engines::SnapshotDisks(Temp("VORTAN$$.$$1"), run.watchedFolders, nullptr);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    run.startTime = (uint64_t(now.dwHighDateTime) << 32 | now.dwLowDateTime) - 1;
    folder.Write("watched\\new.txt", "new");
    folder.Write("app.ini", "[s]\r\nk=2\r\n");
    engines::SnapshotIniFile(run.watchedInis[0], run.tempFolder, ".$$2");  // step 4
    display.moveStatusEye = [this](int step) {
      if (eyes.empty() || eyes.back() != step) eyes.push_back(step);
      if (step == abortAt) PostQuitMessage(0);
    };
    display.showStatus = [](const std::string&) {};
  }

  std::string Temp(const std::string& name) const { return run.tempFolder + name; }
  bool Exists(const std::string& path) const {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  // The steps whose headings stand in the text form, in the order they stand in.
  std::vector<int> Sections() const {
    const std::string text = folder.Read("report\\RPT.TXT");
    std::vector<std::pair<size_t, int>> found;
    for (const Heading& heading : kHeadings)
      if (size_t at = text.find(heading.text); at != std::string::npos)
        found.push_back({at, heading.step});
    std::sort(found.begin(), found.end());
    std::vector<int> steps;
    for (const auto& each : found) steps.push_back(each.second);
    return steps;
  }

  TempFolder folder;
  session::TrackingRun run;
  report::StepDisplay display;
  std::vector<int> eyes;
  int abortAt = -1;
};

struct MaskCase {
  const char* name;
  StatMask mask;
  std::vector<int> steps;     // the eye moves, one a step
  std::vector<int> sections;  // the headings in the text form
};

void PrintTo(const MaskCase& c, std::ostream* out) { *out << c.name; }

class StepMask : public ::testing::TestWithParam<MaskCase> {};

TEST_P(StepMask, RunsItsStepsInOrderAndNoOthers) {
  const MaskCase& c = GetParam();
  PostInstall install;
  install.run.statMask = c.mask;
  session::WritePostInstallReport(install.run, install.display);
  EXPECT_EQ(install.eyes, c.steps);
  EXPECT_EQ(install.Sections(), c.sections);
  // The recordings after the install take place only where their bits are set.
  EXPECT_EQ(install.Exists(install.Temp("REG$$$$$.$$2")), HasStep(c.mask, stRegistryAfter));
  EXPECT_EQ(install.Exists(install.Temp("VORTAN$$.$$2")), HasStep(c.mask, stDiskAfter));
  EXPECT_TRUE(install.Exists(install.run.reportFolder + "EXTRARPT.CSV"));
}

INSTANTIATE_TEST_SUITE_P(
    Masks, StepMask,
    ::testing::Values(
        // The two recordings run at once: the eye goes to the disk's row when the
        // registry's ends, then to each compare.
        MaskCase{"Disk", kMaskDisk, {5, 6, 8, 7, 9}, {5, 7, 9}},
        MaskCase{"FileTimes", kMaskTime, {5, 6, 7, 10}, {5, 7, 10}},
        MaskCase{"DiskAndFileTimesOnly", StepBit(stDiskAfter) | StepBit(stDiskCompare) |
                                             StepBit(stFileTimes), {8, 9, 10}, {9, 10}},
        MaskCase{"IniAndRegistryCompare",
                 StepBit(stIniCompare) | StepBit(stRegistryAfter) | StepBit(stRegistryCompare),
                 {5, 6, 7}, {5, 7}},
        MaskCase{"RecordingsOnly", StepBit(stRegistryAfter) | StepBit(stDiskAfter), {6, 8}, {}},
        MaskCase{"HeaderOnly", 0, {}, {}}),
    [](const ::testing::TestParamInfo<MaskCase>& info) { return std::string(info.param.name); });

// An error part-way through the disk step ends the report there: the files keep the
// sections before it, closed, no later step runs, and the error goes to the caller.
struct ErrorCase {
  const char* name;
  void (*breakIt)(const PostInstall&);
};

void PrintTo(const ErrorCase& c, std::ostream* out) { *out << c.name; }

class PostInstallError : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(PostInstallError, EndsTheReportThereAndIsPassedOn) {
  PostInstall install;
  install.run.statMask = kMaskDisk | StepBit(stFileTimes);
  GetParam().breakIt(install);
  EXPECT_THROW(session::WritePostInstallReport(install.run, install.display), platform::IoError);
  EXPECT_EQ(install.Sections(), std::vector<int>({5, 7}));
  EXPECT_NE(install.folder.Read("report\\EXTRARPT.CSV").find("Del Key"), std::string::npos);
  for (const char* file : {"report\\RPT.TXT", "report\\EXTRARPT.CSV"})
    EXPECT_TRUE(DeleteFileA((install.folder / file).c_str())) << file << " still open";
}

INSTANTIATE_TEST_SUITE_P(
    Steps, PostInstallError,
    ::testing::Values(
        ErrorCase{"RecordingRefused",
                  [](const PostInstall& install) {
                    install.folder.MakeFolder("temp\\VORTAN$$.$$2");
                  }},
        ErrorCase{"CompareWithoutItsListing",
                  [](const PostInstall& install) {
                    DeleteFileA(install.Temp("VORTAN$$.$$1").c_str());
                  }}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

// The story of a close request during the recordings, in a process of its own: they stop
// (the disk's runs beside the registry's, so it may have begun), and no later step
// begins; the report keeps what was written.
std::string AbortedDuringTheRecordings() {
  PostInstall install;
  install.run.statMask = kMaskDisk;
  install.abortAt = stRegistryAfter;
  session::WritePostInstallReport(install.run, install.display);
  if (install.eyes != std::vector<int>({5, 6})) return "a step began after the abort";
  if (install.Sections() != std::vector<int>({5})) return "sections besides the INI file's";
  return "";
}

}  // namespace

TEST(PostInstallDeathTest, NoStepBeginsOnceTheProgramIsClosing) {
  EXPECT_EXIT(testing_support::ExitWith(AbortedDuringTheRecordings()),
              testing::ExitedWithCode(0), "");
}
