// Takes the real VORTAN4.EXE through one disk contents session with the sample install
// program, as a person would at the window, and prints the text report: the headless
// demonstration of tools/run.sh --demo.
//   demo_session [FOLDER]      (default C:\demo; made afresh)
// VORTAN4.EXE and its files, samplesetup.exe and, from tools/run.sh, a VORTAN4.INI whose
// ignored registry keys the session takes lie beside this program. In FOLDER:
// "Sample App" (the watched folder), sample.ini (the watched INI file), Setup\SETUP.EXE
// (the install program) and Vortan4\ (the program with its settings, snapshots and
// reports).
// Exit code 0 when the report shows the sample install's changes.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/mainu_ids.h"
#include "engines/helpers.h"
#include "platform/owners.h"
#include "platform/profile.h"
#include "platform/system.h"
#include "platform/textfile.h"
#include "support/gui_driver.h"
#include "support/temp_folder.h"

namespace {

constexpr DWORD kStepTimeout = 180000;  // a recording of the whole registry included

void Say(const std::string& line) {
  std::printf("demo: %s\n", line.c_str());
  std::fflush(stdout);
}

void WriteText(const std::string& path, const std::string& text) {
  platform::BufferedWriter file(path);
  file.Write(text);
  file.Close();
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

// Sample App 1.0 was installed a day ago: a file that the install rewrites at the same size
// within the same two seconds would look unchanged to a comparison of dates and sizes.
void MakeADayOld(const std::string& path) {
  platform::FileHandle file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER time{{now.dwLowDateTime, now.dwHighDateTime}};
  time.QuadPart -= 24ull * 60 * 60 * 10000000;  // in units of 100 ns
  const FILETIME dayAgo{time.LowPart, time.HighPart};
  if (!file || !SetFileTime(file.get(), nullptr, nullptr, &dayAgo))
    throw std::runtime_error("cannot date " + path);
}

struct Places {
  explicit Places(const std::string& root)
      : root(root),
        app(root + "\\Sample App"),
        ini(root + "\\sample.ini"),
        setup(root + "\\Setup\\SETUP.EXE"),
        program(root + "\\Vortan4\\VORTAN4.EXE") {}
  std::string root, app, ini, setup, program;
};

// Sample App 1.0 as the install finds it, and the program set to watch it.
void Prepare(const Places& at) {
  testing_support::RemoveTree(at.root);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Sample Maker\\Sample App");
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Sample Maker");
  for (const std::string& folder : {at.root, at.app, FolderOf(at.setup), FolderOf(at.program)})
    CreateDirectoryA(folder.c_str(), nullptr);
  WriteText(at.app + "\\app.exe", "Sample App, version 1.0");
  WriteText(at.app + "\\old-help.hlp", "help for version 1.0");
  WriteText(at.app + "\\settings.dat", "colour=red");
  for (const char* name : {"app.exe", "old-help.hlp", "settings.dat"})
    MakeADayOld(at.app + "\\" + name);
  WriteText(at.ini, "[Sample App]\r\nVersion=1.0\r\nColour=red\r\n");

  // The program and its files come from beside this one.
  const std::string kit = FolderOf(platform::ModulePath());
  const std::string programFolder = FolderOf(at.program);
  for (const char* file : {"VORTAN4.EXE", "VORTTRAP.VXD", "VORTCAP.DLL", "VORTAN4.HLP"}) {
    if (!CopyFileA((kit + "\\" + file).c_str(), (programFolder + "\\" + file).c_str(), FALSE))
      throw std::runtime_error(std::string(file) + " belongs beside " + kit);
  }
  if (!CopyFileA((kit + "\\samplesetup.exe").c_str(), at.setup.c_str(), FALSE))
    throw std::runtime_error("samplesetup.exe belongs beside " + kit);
  const std::string settings = programFolder + "\\VORTAN4.INI";
  platform::WriteProfileString(settings, "Settings", "DrivesInitialized", "1");
  platform::WriteProfileString(settings, "Settings", "INIsInitialized", "1");
  platform::WriteProfileString(settings, "Drives", "0", engines::LowerAscii(at.app));
  platform::WriteProfileString(settings, "INIs", "0", engines::LowerAscii(at.ini));
  // The ignored registry keys of the settings file that tools/run.sh leaves beside this
  // program (Wine's keys of each session); none without it.
  platform::WriteProfileString(settings, "Settings", "RegInitialized", "1");
  const std::string kitSettings = kit + "\\VORTAN4.INI";
  int number = 0;
  for (const std::string& key : platform::ProfileKeyNames(kitSettings, "Regs"))
    platform::WriteProfileString(settings, "Regs", std::to_string(number++),
                                 platform::ReadProfileString(kitSettings, "Regs", key));
  if (!gui::SetWindowsVersion("VORTAN4.EXE", "win98"))
    throw std::runtime_error("cannot choose the Windows version of VORTAN4.EXE");
}

class Session {
 public:
  explicit Session(const std::string& program) : app_(program) {
    if (app_.Started()) window_ = app_.WaitWindow(nullptr, 30000);
    if (!window_) throw std::runtime_error("the window of " + program + " did not appear");
  }
  ~Session() {
    if (window_ && IsWindow(window_)) app_.Close(window_, 10000);
  }

  HWND Item(int id) const { return gui::FindById(window_, id); }

  // Waits for the condition; when it does not come, says what the window shows instead.
  void WaitFor(const std::function<bool()>& condition, const std::string& what) const {
    if (gui::WaitFor(condition, kStepTimeout)) return;
    HWND box = gui::FindTop("#32770", nullptr, window_);
    throw std::runtime_error("no " + what + (box ? "; the program says: " + gui::MessageText(box)
                                                 : "; status: " + gui::Text(Item(IDC_lbStatus))));
  }

  // After the report the program may still show an error that ended it early.
  std::string ErrorBox() const {
    HWND box = gui::WaitTop("#32770", nullptr, window_, 0, 1000);
    return box ? gui::MessageText(box) : "";
  }

 private:
  gui::App app_;
  HWND window_{};
};

double SecondsSince(DWORD start) { return (GetTickCount() - start) / 1000.0; }

std::string FormatSeconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

std::string ReadReport(const std::string& path) {
  platform::BufferedReader reader(path);
  std::string text, line;
  while (reader.ReadLine(line)) text += line + "\n";
  return text;
}

int Run(const Places& at) {
  Prepare(at);
  Say("Sample App 1.0 in \"" + at.app + "\", its settings in " + at.ini);
  Session session(at.program);
  Say("VORTAN4.EXE started from " + FolderOf(at.program) +
      ", set to watch that folder, that INI file and the registry (but for the keys Wine "
      "changes in every session)");

  gui::SetText(session.Item(IDC_ebInstallProg), at.setup);
  gui::SetText(session.Item(IDC_ebParams), "\"" + at.app + "\" \"" + at.ini + "\"");
  gui::SetText(session.Item(IDC_ebName), "Sample App 2.0");
  gui::Click(session.Item(IDC_rbTmDisk));
  Say("install program " + at.setup + ", disk contents comparison; clicking \"GO!\"");
  Say("the install adds Plugins\\spell.dll and readme.txt, rewrites app.exe, deletes "
      "old-help.hlp, changes a key and adds a section in sample.ini, and adds a registry key "
      "with two values");
  DWORD start = GetTickCount();
  gui::ClickAsync(session.Item(IDC_btnInstall));
  session.WaitFor([&] { return gui::Enabled(session.Item(IDC_btnInstDone)); },
                  "\"Install Complete\" button");
  Say("state recorded, the sample install ran and ended (" + FormatSeconds(SecondsSince(start)) +
      "); clicking \"Install Complete\"");
  start = GetTickCount();
  gui::ClickAsync(session.Item(IDC_btnInstDone));
  session.WaitFor([&] { return gui::Visible(session.Item(IDC_meRept)); }, "report");
  const std::string reportName = gui::Text(session.Item(IDC_lbReportName));
  Say("state recorded again, compared and reported (" + FormatSeconds(SecondsSince(start)) +
      "): " + reportName);
  if (const std::string error = session.ErrorBox(); !error.empty())
    throw std::runtime_error("the report ended early: " + error);

  const std::string report = ReadReport(reportName);
  std::printf("\n%s", report.c_str());
  std::fflush(stdout);
  for (const char* change : {"\\Plugins\\spell.dll\n", "\\readme.txt\n", "\\old-help.hlp\n",
                             "\\app.exe\n", "[Sample App]Version=1.0=to=2.0\n",
                             "[Plugins]Spell=spell.dll\n", "\\Sample Maker\\Sample App Version="}) {
    if (report.find(change) == std::string::npos)
      throw std::runtime_error(std::string("the report does not show ") + change);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);  // the report's lines end in LF on the terminal
  try {
    return Run(Places(argc > 1 ? argv[1] : "C:\\demo"));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "demo: %s\n", error.what());
    return 1;
  }
}
