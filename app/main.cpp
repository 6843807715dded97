#include <windows.h>

#include "app/mainu_ids.h"
#include "app/settings.h"
#include "platform/messages.h"
#include "platform/system.h"

namespace {

app::ProgramPlaces places;

INT_PTR CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      app::RestoreWindowPlacement(window, app::SettingsFile(places.settingsPath),
                                  app::kSettingsSection, false);
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) DestroyWindow(window);
      return TRUE;
    case WM_DESTROY:
      try {
        app::SaveWindowPlacement(window, app::SettingsFile(places.settingsPath),
                                 app::kSettingsSection, false);
      } catch (const std::exception& e) {
        MessageBoxA(nullptr, e.what(), "Vortan4", MB_OK | MB_ICONERROR);
      }
      PostQuitMessage(0);
      return TRUE;
  }
  return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  places = app::FindProgramPlaces(platform::ModulePath());
  HWND main = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MainForm), nullptr, MainProc, 0);
  if (!main) return 1;
  ShowWindow(main, show);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (!platform::TranslateDialogMessage(message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  return static_cast<int>(message.wParam);
}
