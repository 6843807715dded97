// The main window's option buttons: the list editors, the default folders dialog and the
// about box, and what the window does with their results.
#include "app/mainu.h"
#include "dialogs/AboutBox.h"
#include "dialogs/diskoptu.h"
#include "dialogs/inioptu.h"
#include "dialogs/pathsu.h"
#include "dialogs/regoptu.h"

namespace app {
namespace {

// Opens a list editor on a copy of list; on OK the list takes the editor's items, in the
// editor's order, and is saved at once.
template <class Editor>
void EditWatchedList(HWND owner, const SettingsFile& settings, WatchedList which,
                     engines::TrackedList& list) {
  const SettingsPlacements placements(settings);
  Editor editor(placements);
  editor.items = list.entries;
  if (!editor.Run(owner)) return;
  list.entries = editor.items;
  SaveWatchedList(settings, which, list);
}

}  // namespace

void TMainForm::btnDiskClick() {
  EditWatchedList<dialogs::TTrackDirForm>(hwnd_, settings, WatchedList::Drives, drives);
}

void TMainForm::btnINIClick() {
  EditWatchedList<dialogs::TTrackIniForm>(hwnd_, settings, WatchedList::Inis, inis);
}

void TMainForm::btnRegClick() {
  EditWatchedList<dialogs::TTrackRegForm>(hwnd_, settings, WatchedList::Regs, regs);
}

void TMainForm::btnPathClick() {
  // A name of the user's own stays; the default name follows the report folder.
  const bool defaultName = lstrcmpiA(TextOf(ebReportName).c_str(), MakeReportName().c_str()) == 0;
  const SettingsPlacements placements(settings);
  dialogs::TPathsForm paths(placements);
  paths.reportPath = reptPath;
  paths.tempPath = tempPath;
  if (!paths.Run(hwnd_)) return;
  reptPath = engines::WithTrailingBackslash(paths.reportPath);
  tempPath = engines::WithTrailingBackslash(paths.tempPath);
  if (defaultName) SetWindowTextA(ebReportName, MakeReportName().c_str());
  WriteDefaultFolders(settings, reptPath, tempPath);
}

void TMainForm::btnAboutClick() {
  const SettingsPlacements placements(settings);
  dialogs::TAboutForm about(placements);
  about.windowsType = windows.type;
  about.windowsName = windows.text;
  about.Run(hwnd_);
}

}  // namespace app
