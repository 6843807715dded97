// Pictures of what a person meets, frame and caption included: the main window's three
// pages, a help topic in the help viewer, and each option dialog opened over the main
// window at the size it first opens at. tools/screenshots.sh runs this and turns the BMP
// files into PNG files.
// usage: screenshots FOLDER   (a Windows folder that exists)
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>

#include "app/mainu.h"
#include "app/mainu_ids.h"
#include "dialogs/AboutBox.h"
#include "dialogs/context_help.h"
#include "dialogs/diskoptu.h"
#include "dialogs/inioptu.h"
#include "dialogs/pathsu.h"
#include "dialogs/pikigkey.h"
#include "dialogs/regoptu.h"
#include "engines/helpers.h"
#include "platform/textfile.h"
#include "report/sections.h"
#include "support/gui_driver.h"

namespace {

bool ok = true;

// A report as the program writes it, of a small sample install, written by the program's
// own report code into the output folder.
std::string WriteSampleReport(const std::string& folder) {
  const std::string textPath = folder + "\\RPT_0000.TXT";
  {
    report::ReportStreams streams(textPath, folder + "\\EXTRARPT.CSV",
                                  platform::BufferedWriter::Mode::Create);
    report::HeaderFacts facts;
    facts.description = "Sample Setup";
    facts.installProgram = "C:\\SAMPLE\\SETUP.EXE";
    facts.versionText = report::GetFileVersionText();
    facts.windowsText = "Windows 98";
    facts.installType = session::itWin32;
    facts.watchedFolders = {"c:\\"};
    GetLocalTime(&facts.now);
    report::WriteReportHeader(streams, facts);
    report::WorkLists lists;
    lists[3] = {{"[Sample]", {}}};
    lists[0] = {{"[Sample]Version=1.0", {}}};
    report::WriteIniSection(streams, "c:\\windows\\win.ini", lists);
    engines::RegObject installDir;
    installDir.valueType = REG_SZ;
    installDir.valueName = "InstallDir";
    installDir.newData = "c:\\program files\\sample";
    lists[0] = {{"HKEY_LOCAL_MACHINE\\Software\\Sample", {}}};
    lists[3] = {{"HKEY_LOCAL_MACHINE\\Software\\Sample\\InstallDir", installDir}};
    report::FormatValueEntries(lists);
    report::WriteRegistrySection(streams, lists);
    lists[0] = {{"c:\\program files\\sample", {}},
                {"c:\\program files\\sample\\readme.txt", {}},
                {"c:\\program files\\sample\\sample.exe", {}},
                {"c:\\windows\\system\\samplelib.dll", {}}};
    lists[2] = {{"c:\\windows\\win.ini", {}}};
    report::OwnFiles own;
    own.programFolder = engines::LowerAscii(folder) + "\\";
    own.reportName = textPath;
    own.reportFolder = own.tempFolder = own.programFolder;
    report::WriteDiskSection(streams, lists, own);
  }
  platform::BufferedReader reader(textPath);
  std::string text, line;
  while (reader.ReadLine(line)) text += line + "\r\n";
  return text;
}

void Take(HWND window, const std::string& folder, const char* name) {
  gui::Activate(window);
  gui::SettlePaint(window);
  std::string path = folder + "\\" + name + ".bmp";
  const bool wrote = gui::Shot(window, path);
  std::printf("%s %s\n", wrote ? "wrote" : "could not write", path.c_str());
  ok = ok && wrote;
}

// Runs show() (which returns when the dialog closes) while another thread takes the shot.
template <class Show>
void TakeDialog(const char* caption, const std::string& path, Show show) {
  std::thread camera([caption, path] {
    HWND dialog = gui::WaitTop("#32770", caption, nullptr, GetCurrentProcessId());
    if (!dialog) {
      ok = false;
      return;
    }
    gui::Activate(dialog);
    gui::SettlePaint(dialog);
    const bool wrote = gui::Shot(dialog, path);
    std::printf("%s %s\n", wrote ? "wrote" : "could not write", path.c_str());
    ok = ok && wrote;
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  show();
  camera.join();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: screenshots FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  // The program as if installed in the output folder: its settings file lands there.
  app::TMainForm form(app::FindProgramPlaces(folder + "\\VORTAN4.EXE"), app::ThisWindows(), {});
  HWND window = form.Create();
  if (!window) return 1;
  ShowWindow(window, SW_SHOWNORMAL);

  gui::SetText(form.ebInstallProg, "C:\\windows\\notepad.exe");
  gui::SetText(form.ebName, "Sample Setup");
  Take(window, folder, "page0_setup");

  // A topic of the help file (beside the program) in the help viewer, placed as the
  // program places it.
  WinHelpA(window, form.HelpFile().c_str(), HELP_CONTEXT, 19);
  dialogs::PlaceHelpViewerBeside(window);
  HWND help = gui::WaitTop("MS_WINHELP", nullptr);
  if (help)
    Take(help, folder, "help_topic");
  else
    ok = false;
  WinHelpA(window, form.HelpFile().c_str(), HELP_QUIT, 0);

  form.ShowPage(1);
  form.PutStatMaskInForce(app::ModeMask(app::tmDisk, app::itWin32));
  form.MoveStatusEye(3);
  form.ShowStatus("Installation in progress");
  EnableWindow(form.btnInstDone, TRUE);
  ShowWindow(form.stPlease, SW_SHOWNA);
  Take(window, folder, "page1_progress");

  form.ShowPage(2);
  gui::SetText(form.meRept, WriteSampleReport(folder));
  gui::SetText(form.lbReportName, folder + "\\RPT_0000.TXT");
  Take(window, folder, "page2_report");

  form.ShowPage(0);
  const app::SettingsFile settings(folder + "\\VORTAN4.INI");
  const app::SettingsPlacements placements(settings);
  dialogs::TTrackDirForm drives(placements);
  drives.items = {"c:\\", "d:\\projects", "e:\\tools"};
  TakeDialog("Disk tracking options", folder + "\\dialog_drives.bmp", [&] { drives.Run(window); });
  dialogs::TTrackIniForm inis(placements);
  inis.items = {"c:\\windows\\win.ini", "c:\\windows\\system.ini", "c:\\windows\\control.ini"};
  TakeDialog("INI file options", folder + "\\dialog_inis.bmp", [&] { inis.Run(window); });
  dialogs::TTrackRegForm regs(placements);
  regs.items = {"hkey_local_machine\\software\\microsoft\\windows\\currentversion\\explorer"};
  TakeDialog("Registry keys to ignore", folder + "\\dialog_regs.bmp", [&] { regs.Run(window); });
  dialogs::TRegIgForm picker(placements);
  TakeDialog("Choose Registry Key To Ignore", folder + "\\dialog_keypicker.bmp",
             [&] { picker.Run(window); });
  dialogs::TAboutForm about(placements);
  about.windowsType = 2;
  about.windowsName = "Windows 98";
  TakeDialog("About Vortan4", folder + "\\dialog_about.bmp", [&] { about.Run(window); });
  dialogs::TPathsForm paths(placements);
  paths.reportPath = "c:\\reports\\";
  paths.tempPath = "c:\\windows\\temp\\";
  TakeDialog("Vortan4 - Set default folders", folder + "\\dialog_paths.bmp",
             [&] { paths.Run(window); });
  return ok ? 0 : 1;
}
