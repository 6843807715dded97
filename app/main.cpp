#include <windows.h>

#include <cstdlib>

#include "app/mainu.h"
#include "app/undo_command.h"
#include "platform/messages.h"
#include "platform/system.h"

namespace {

// Shared by every copy on the machine: the task-bar window and the main window of the
// copy that runs.
const char kInstanceName[] = "Quennel Vortan4 Shared";
struct InstanceRecord {
  HWND application;
  HWND mainWindow;
};
static_assert(sizeof(InstanceRecord) == 8, "the record other copies read");

std::vector<std::string> Parameters() { return {__argv + (__argc > 0 ? 1 : 0), __argv + __argc}; }

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int show) {
  // The undo command works beside a window that is open, so before the one-copy rule.
  if (app::IsUndoCommand(Parameters())) return app::RunUndoCommand(Parameters());
  const app::WindowsFacts& windows = app::ThisWindows();
  const app::ProgramPlaces places = app::FindProgramPlaces(platform::ModulePath());

  platform::Handle mapping = platform::OpenSharedMemory(kInstanceName);
  if (mapping) {
    // Another copy runs: bring its window to the front and end.
    platform::MappedView view = platform::MapSharedMemory(mapping);
    if (view) {
      const auto* record = static_cast<const InstanceRecord*>(view.get());
      if (record->application && IsIconic(record->application))
        ShowWindow(record->application, SW_RESTORE);
      if (record->mainWindow) SetForegroundWindow(record->mainWindow);
    }
    return 0;
  }
  // Before any window: the end of a Windows session sets it to release the watch threads.
  const HANDLE allStop = app::AllStopEvent();
  // Without the block the program still runs; later copies then start as first copies.
  mapping = platform::CreateSharedMemory(kInstanceName, sizeof(InstanceRecord));
  platform::MappedView view = platform::MapSharedMemory(mapping);

  app::TMainForm form(places, windows, Parameters());
  form.endsProgram = true;
  HWND main = form.Create();
  if (!main) return 0;
  // The main window is the one on the task bar.
  if (view) *static_cast<InstanceRecord*>(view.get()) = {main, main};
  ShowWindow(main, show);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (!platform::TranslateDialogMessage(message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  if (allStop) ResetEvent(allStop);
  return 0;
}
