#include "dialogs/regoptu.h"

#include "dialogs/pikigkey.h"

namespace dialogs {

TTrackRegForm::TTrackRegForm(const PlacementStore& placements)
    : TOptForm(placements, {"TrackRegForm", "Registry keys to ignore",
                            "If not using real-time tracking, Vortan4 will ignore the keys listed "
                            "here, as well as their subkeys.",
                            37, 39}) {}

void TTrackRegForm::btnAddClick() {
  TRegIgForm picker(placements_);
  if (!picker.Run(Handle())) return;
  const std::string message = AddResultMessage(
      AddToList(picker.chosenKey),
      {"The key \"%s\" was not added, because it is a subkey of another key that is already "
       "present in the list.",
       "The key \"%s\" was added, replacing one or more of its own subkeys in the list.",
       "The key \"%s\" is already present in the list."},
      picker.chosenKey);
  if (!message.empty()) Notice(message, "Information", MB_ICONINFORMATION);
}

}  // namespace dialogs
