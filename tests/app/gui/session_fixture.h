#pragma once
// The whole-session tests' setting: the program watches one folder and one INI file of
// the test's own, and a stand-in install program does the installing.
#include <windows.h>

#include <tlhelp32.h>

#include <sstream>
#include <string>

#include "engines/helpers.h"
#include "platform/owners.h"
#include "vortan4_app.h"

namespace gui_tests {

inline const char kFakeSetup[] = "C:\\tests\\programs\\fakesetup.exe";

inline bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline bool AnyFile(const std::string& pattern) {
  WIN32_FIND_DATAA found;
  platform::FindHandle find(FindFirstFileA(pattern.c_str(), &found));
  return find.valid();
}

inline bool ProcessRunning(const char* exeName) {
  platform::Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.get(), &entry); more;
       more = Process32Next(snapshot.get(), &entry))
    if (lstrcmpiA(entry.szExeFile, exeName) == 0) return true;
  return false;
}

class Session : public Vortan4 {
 protected:
  // The program watches one folder and one INI file of the test's own (outside its own
  // folder, whose files no report shows), reports and keeps its snapshots in its folder,
  // and ignores nothing in the registry.
  void SetUp() override {
    folder.MakeFolder("temp");
    outside.Write("watch\\old.txt", "old");
    outside.Write("watch\\gone.txt", "bye");
    outside.Write("app.ini", "[Main]\r\nColour=red\r\n");
    watch = engines::LowerAscii(outside / "watch");
    temp = folder / "temp\\";
    std::ostringstream ini;
    ini << "[Settings]\r\nDrivesInitialized=1\r\nINIsInitialized=1\r\n"
        << "ReptPath=" << folder.Path() << "\r\nTempPath=" << temp << "\r\n"
        << "[Drives]\r\n0=" << watch << "\r\n"
        << "[INIs]\r\n0=" << IniFile() << "\r\n";
    folder.Write("VORTAN4.INI", ini.str());
  }

  std::string Report(const std::string& name) const { return folder.Read(name); }

  // Disk contents without an install program: "&GO!" records, says so and ends.
  void RecordTheFirstPhase() {
    Start("win98");
    gui::Click(Item(IDC_rbTmDisk));
    gui::ClickAsync(Item(IDC_btnInstall));
    HWND box = gui::WaitTop("#32770", "Information", window, 0, kSessionTimeout);
    ASSERT_NE(box, nullptr);
    EXPECT_NE(gui::MessageText(box).find("will now terminate"), std::string::npos);
    gui::Answer(box, IDOK);
    ASSERT_EQ(app->WaitExit(), 0);
    window = nullptr;
  }

  std::string IniFile() const { return engines::LowerAscii(outside / "app.ini"); }

  testing_support::TempFolder outside;
  std::string watch, temp;
};

}  // namespace gui_tests
