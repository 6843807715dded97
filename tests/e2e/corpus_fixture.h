#pragma once
// The installer corpus of ../shared/corpus, one installer per test: tests/e2e/corpus.sh
// builds it, prepares a prefix of its own (the installers run from D:) and runs the tests
// there with VORTAN4_CORPUS naming the folder of the truth files. The fixture reads the
// installer's truth, has the program watch all of C: and the registry, and records the
// machine in the program's own listings to tell what an install changed.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/gui/session_fixture.h"
#include "app/gui/vortan4_app.h"
#include "engines/disk.h"
#include "engines/helpers.h"
#include "engines/registry.h"
#include "json.h"
#include "report_reader.h"

namespace e2e {

// Changes that are neither the installer's nor listed as incidental in its truth: the
// temporary folder, where the installers unpack their helpers and remove them again, and
// Wine's own settings; shell32 rewrites the Shell Folders keys in whichever process loads
// it.
inline const Incidental kBesidesTheTruth({
    R"(^path~ c:\\users\\[^\\]+\\temp$)",
    R"(^(key|val)[-+~] hkey_users\\s-1-5-21-0-0-0-1000\\software\\wine\\)",
    R"(^(key|val)[-+~] hkey_(users\\s-1-5-21-0-0-0-1000|local_machine)\\software\\microsoft\\windows\\currentversion\\explorer\\(user )?shell folders(\||$))",
});
// What Wine's display driver writes whenever a program starts, install or not.
inline const Incidental kWineSessionNoise({
    R"(^val~ hkey_local_machine\\system\\currentcontrolset\\control\\(class|video)\\[^|]+\|driverdatedata$)",
});

// The program and its parameters from the truth's command ("wine PROGRAM PARAMETERS");
// a program without a folder is looked up on the path, as the shell would.
inline std::pair<std::string, std::string> CommandOf(const Json& truth) {
  std::string command = truth["command"].text;
  if (command.rfind("wine ", 0) == 0) command = command.substr(5);
  const size_t blank = command.find(' ');
  std::string program = command.substr(0, blank);
  const std::string parameters = blank == std::string::npos ? "" : command.substr(blank + 1);
  if (program.find('\\') == std::string::npos) {
    char found[MAX_PATH] = "";
    if (SearchPathA(nullptr, program.c_str(), ".exe", MAX_PATH, found, nullptr)) program = found;
  }
  return {program, parameters};
}

// The installers of the corpus, in the order they run in one prefix.
inline const char* const kCorpusInstallers[] = {"a1-notes", "a2-update", "a3-inidrv", "a4-suite",
                                                "a5-deep",  "a6-msi",    "a7-batch"};
// Test names after the installer's number: a1, a2, ...
inline std::string CorpusTestName(const ::testing::TestParamInfo<const char*>& info) {
  const std::string name = info.param;
  return name.substr(0, name.find('-'));
}

class CorpusInstall : public gui_tests::Vortan4, public ::testing::WithParamInterface<const char*> {
 protected:
  // The whole of C: is small enough to watch; the INI files are the program's own choice.
  // HKEY_LOCAL_MACHINE\Software\Classes takes the registry listing seconds, and what the
  // installers write there (MSI's bookkeeping) is incidental.
  void SetUp() override {
    const char* truths = std::getenv("VORTAN4_CORPUS");
    if (!truths)
      GTEST_SKIP() << "no installer corpus: ../shared/corpus is not beside the repository "
                      "(tests/e2e/corpus.sh runs these tests with VORTAN4_CORPUS set when it is)";
    const std::string text = ReadBytes(std::string(truths) + "\\" + GetParam() + ".json");
    ASSERT_FALSE(text.empty()) << "no truth file for " << GetParam() << " in " << truths;
    truth_ = ParseJson(text);
    folder.MakeFolder("temp");
    std::ostringstream ini;
    ini << "[Settings]\r\nDrivesInitialized=1\r\nRegInitialized=1\r\n"
        << "ReptPath=" << folder.Path() << "\r\nTempPath=" << folder / "temp\\" << "\r\n"
        << "[Drives]\r\n0=c:\\\r\n"
        << "[Regs]\r\n0=hkey_local_machine\\software\\classes\r\n";
    folder.Write("VORTAN4.INI", ini.str());
  }

  // The installer tracked through the window in the mode, up to the report; the program
  // closed again.
  void TrackTheInstaller(int mode) {
    const auto [program, parameters] = CommandOf(truth_);
    Start("win98");
    ChooseProgram(program, parameters, mode);
    ASSERT_TRUE(GoAndWaitForTheInstall()) << program << " " << parameters;
    ASSERT_TRUE(CompleteAndWaitForTheReport());
    ASSERT_EQ(Close(), 0);
  }

  // The machine in the program's own listings: C: and the registry, the keys the session
  // leaves out left out here too.
  void RecordMachine(const std::string& extension) {
    engines::TrackedList drives, ignored;
    drives.entries = {"c:\\"};
    ignored.entries = {"hkey_local_machine\\software\\classes"};
    folder.MakeFolder("machine");
    engines::SnapshotDisks(folder / ("machine\\DISK" + extension), drives, nullptr);
    engines::SnapshotRegistry(folder / "machine\\REG", extension, ignored, nullptr);
  }

  // What differs between two recordings, as "path+ c:\x #digest" or "val~ key|name = data"
  // (a file with a digest of its contents now, a value with its data as the listing gives
  // it), leaving out the test's own folder, folders' times, and what Wine changes in any
  // session.
  std::vector<std::string> MachineDifferences(const std::string& before, const std::string& after) {
    engines::ResultList lists[8];
    engines::CompareDiskSnapshots(folder / ("machine\\DISK" + before),
                                  folder / ("machine\\DISK" + after), lists[0], lists[1], lists[2],
                                  nullptr);
    engines::CompareRegistrySnapshots(folder / ("machine\\REG" + before),
                                      folder / ("machine\\REG" + after), lists[3], lists[4],
                                      lists[5], lists[6], lists[7], nullptr);
    const char* kinds[] = {"path+ ", "path- ", "path~ ", "key+ ", "key- ", "val~ ", "val+ ", "val- "};
    const std::string own = engines::LowerAscii(folder.Path());
    std::vector<std::string> differences;
    for (int i = 0; i < 8; ++i) {
      for (const engines::ListEntry& entry : lists[i]) {
        std::string text = engines::LowerAscii(entry.text);
        std::string data;
        if (const auto* value = std::get_if<engines::RegObject>(&entry.item)) {
          text += "|" + engines::LowerAscii(value->valueName);
          if (i != 7) data = " = " + value->newData;
        }
        const std::string change = kinds[i] + text;
        // A file or folder as it is now (the disk lists only): folders' times are left out,
        // files get the digest of their contents.
        const DWORD attributes = i < 3 ? GetFileAttributesA(entry.text.c_str()) : INVALID_FILE_ATTRIBUTES;
        const bool isFolder = attributes != INVALID_FILE_ATTRIBUTES && attributes & FILE_ATTRIBUTE_DIRECTORY;
        if (text.compare(0, own.size(), own) == 0 || kBesidesTheTruth.Matches(change) ||
            kWineSessionNoise.Matches(change) || (i == 2 && isFolder))
          continue;
        if ((i == 0 || i == 2) && !isFolder) data = " #" + Digest(ReadBytes(entry.text));
        differences.push_back(change + data);
      }
    }
    return differences;
  }

  Json truth_;

 private:
  static std::string Digest(const std::string& bytes) {
    uint32_t hash = 2166136261u;
    for (unsigned char byte : bytes) hash = (hash ^ byte) * 16777619u;
    return std::to_string(bytes.size()) + "/" + std::to_string(hash);
  }
};

}  // namespace e2e
