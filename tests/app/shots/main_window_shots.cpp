// Pictures of the main window's three pages and of a help topic, frame and caption
// included, as a person sees them: tools/screenshots.sh runs this and turns the BMP files
// into PNG files.
// usage: main_window_shots FOLDER   (a Windows folder that exists)
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/mainu.h"
#include "app/mainu_ids.h"
#include "support/gui_driver.h"

namespace {

const char kSampleReport[] =
    "Installation report: Sample Setup\r\n"
    "Windows 98, disk contents comparison\r\n"
    "\r\n"
    "Files added\r\n"
    "  c:\\program files\\sample\\sample.exe\r\n"
    "  c:\\program files\\sample\\readme.txt\r\n"
    "  c:\\windows\\system\\samplelib.dll\r\n"
    "\r\n"
    "Registry values added\r\n"
    "  HKEY_LOCAL_MACHINE\\Software\\Sample\\InstallDir = \"c:\\program files\\sample\"\r\n"
    "\r\n"
    "INI file changes\r\n"
    "  [Sample]Version=1.0 added to c:\\windows\\win.ini\r\n";

bool Take(HWND window, const std::string& folder, const char* name) {
  gui::Activate(window);
  gui::SettlePaint(window);
  std::string path = folder + "\\" + name + ".bmp";
  bool ok = gui::Shot(window, path);
  std::printf("%s %s\n", ok ? "wrote" : "could not write", path.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: main_window_shots FOLDER\n");
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
  bool ok = Take(window, folder, "page0_setup");

  // A topic of the help file (beside the program) in the help viewer.
  WinHelpA(window, form.HelpFile().c_str(), HELP_CONTEXT, 19);
  HWND help = gui::WaitTop("MS_WINHELP", nullptr);
  ok = help && Take(help, folder, "help_topic") && ok;
  WinHelpA(window, form.HelpFile().c_str(), HELP_QUIT, 0);

  form.ShowPage(1);
  form.PutStatMaskInForce(app::ModeMask(app::tmDisk, app::itWin32));
  form.MoveStatusEye(3);
  form.ShowStatus("Installation in progress");
  EnableWindow(form.btnInstDone, TRUE);
  ShowWindow(form.stPlease, SW_SHOWNA);
  ok = Take(window, folder, "page1_progress") && ok;

  form.ShowPage(2);
  gui::SetText(form.meRept, kSampleReport);
  ok = Take(window, folder, "page2_report") && ok;
  return ok ? 0 : 1;
}
