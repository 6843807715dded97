// Pictures of the option dialogs as a person sees them: tools/screenshots.sh runs this
// beside main_window_shots. Each dialog runs modally on this thread while a second thread
// waits for it, takes its picture and closes it.
// usage: dialog_shots FOLDER   (a Windows folder that exists)
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>

#include "app/settings.h"
#include "dialogs/AboutBox.h"
#include "dialogs/diskoptu.h"
#include "dialogs/inioptu.h"
#include "dialogs/pathsu.h"
#include "dialogs/pikigkey.h"
#include "dialogs/regoptu.h"
#include "support/gui_driver.h"

namespace {

bool ok = true;

// Runs show() (which returns when the dialog closes) while another thread takes the shot.
template <class Show>
void Take(const char* caption, const std::string& path, Show show) {
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
    std::fprintf(stderr, "usage: dialog_shots FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  const app::SettingsFile settings(folder + "\\VORTAN4.INI");
  const app::SettingsPlacements placements(settings);
  // The list editors open at their smallest size; these were widened, as a user would.
  for (const char* form : {"TrackDirForm", "TrackIniForm", "TrackRegForm"}) {
    const std::string section = app::PlacementSection(form);
    settings.WriteInt(section, "Width", 440);
    settings.WriteInt(section, "Height", 200);
  }

  dialogs::TTrackDirForm drives(placements);
  drives.items = {"c:\\", "d:\\projects", "e:\\tools"};
  Take("Disk tracking options", folder + "\\dialog_drives.bmp", [&] { drives.Run(nullptr); });
  dialogs::TTrackIniForm inis(placements);
  inis.items = {"c:\\windows\\win.ini", "c:\\windows\\system.ini", "c:\\windows\\control.ini"};
  Take("INI file options", folder + "\\dialog_inis.bmp", [&] { inis.Run(nullptr); });
  dialogs::TTrackRegForm regs(placements);
  regs.items = {"hkey_local_machine\\software\\microsoft\\windows\\currentversion\\explorer"};
  Take("Registry keys to ignore", folder + "\\dialog_regs.bmp", [&] { regs.Run(nullptr); });
  dialogs::TRegIgForm picker(placements);
  Take("Choose Registry Key To Ignore", folder + "\\dialog_keypicker.bmp",
       [&] { picker.Run(nullptr); });
  dialogs::TAboutForm about(placements);
  about.windowsType = 2;
  about.windowsName = "Windows 98";
  Take("About Vortan4", folder + "\\dialog_about.bmp", [&] { about.Run(nullptr); });
  dialogs::TPathsForm paths(placements);
  paths.reportPath = "c:\\reports\\";
  paths.tempPath = "c:\\windows\\temp\\";
  Take("Vortan4 - Set default folders", folder + "\\dialog_paths.bmp", [&] { paths.Run(nullptr); });
  return ok ? 0 : 1;
}
