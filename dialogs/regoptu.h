#pragma once
// The list editor of the registry keys to ignore; the keys come from the key picker.
#include "dialogs/optbaseu.h"

namespace dialogs {

class TTrackRegForm : public TOptForm {
 public:
  explicit TTrackRegForm(const PlacementStore& placements);

 private:
  void btnAddClick() override;
};

}  // namespace dialogs
