#include "dialogs/diskoptu.h"

#include "dialogs/folderbrowser.h"

namespace dialogs {

TTrackDirForm::TTrackDirForm(const PlacementStore& placements)
    : TOptForm(placements, {"TrackDirForm", "Disk tracking options",
                            "Vortan4 will track changes in and below the starting folders "
                            "listed here.",
                            24, 28}) {}

void TTrackDirForm::btnAddClick() {
  const std::string folder =
      BrowseForFolder(Handle(), {"Select a drive or folder for tracking", "", true});
  if (folder.empty()) return;
  const std::string message = AddResultMessage(
      AddToList(folder),
      {"The folder \"%s\" was not added, because it is a subfolder of another folder that is "
       "already present in the list.",
       "The folder \"%s\" was added, replacing one or more of its own subfolders in the list.",
       "The folder \"%s\" is already present in the list."},
      folder);
  if (!message.empty()) Notice(message, "Information", MB_ICONINFORMATION);
}

}  // namespace dialogs
