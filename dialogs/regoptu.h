#pragma once
// The list editor of the registry keys to ignore; the keys come from the key picker.
#include "dialogs/optbaseu.h"

namespace dialogs {

class TTrackRegForm : public TOptForm {
 public:
  explicit TTrackRegForm(const app::SettingsFile& settings);

 private:
  void btnAddClick() override;
};

}  // namespace dialogs
