#pragma once
// The registry key picker: the user types a key or grabs the one selected in the
// Registry Editor; OK is available only while the key, as last validated, is valid.
#include <windows.h>

#include <string>

#include "dialogs/form.h"
#include "dialogs/placement.h"

namespace dialogs {

class TRegIgForm : public Form {
 public:
  explicit TRegIgForm(const PlacementStore& placements);
  // Shows the dialog modally; true when the user confirmed with OK.
  bool Run(HWND owner);
  // Out, after OK: the trimmed key as typed or grabbed (HKEY_LOCAL_MACHINE\Software\...).
  std::string chosenKey;

  HWND btnRegEdit{}, btnGetKey{}, ebKey{}, lbValid{}, btnValidate{}, btnHelp{}, btnOK{},
      btnCancel{};

 private:
  void OnInit() override;
  bool OnCommand(int id, UINT code) override;
  void FormResize() override;

  void btnRegEditClick();
  void btnGetKeyClick();
  void ebKeyChange();
  void btnValidateClick();
  void btnHelpClick();
  void btnOKClick();
  void btnCancelClick();
  void Complain(const char* text, UINT icon) const;

  static const Binding<TRegIgForm> kEvents[];
  static const ControlRow<TRegIgForm> kControls[];

  const PlacementStore& placements_;
};

// Leading and trailing blanks and control characters removed.
std::string TrimKey(const std::string& text);
// The Registry Editor's status bar shows the key behind the computer's node: the text
// after the first backslash (all of it when there is none).
std::string KeyFromStatusBar(const std::string& text);
// The validation of a trimmed key: one of the four texts of lbValid; valid is set when
// the key lies below HKEY_USERS or HKEY_LOCAL_MACHINE and opens.
std::string ValidateKey(const std::string& key, bool& valid);

}  // namespace dialogs
