#pragma once
// The list editor of the watched INI files.
#include "dialogs/optbaseu.h"

namespace dialogs {

class TTrackIniForm : public TOptForm {
 public:
  explicit TTrackIniForm(const PlacementStore& placements);

 private:
  void btnAddClick() override;
  // OpenDialog1: the chosen file's path, or "" when the user cancelled.
  std::string RunOpenDialog1() const;
};

}  // namespace dialogs
