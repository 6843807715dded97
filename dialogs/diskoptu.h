#pragma once
// The list editor of the watched drives and folders.
#include "dialogs/optbaseu.h"

namespace dialogs {

class TTrackDirForm : public TOptForm {
 public:
  explicit TTrackDirForm(const PlacementStore& placements);

 private:
  void btnAddClick() override;
};

}  // namespace dialogs
