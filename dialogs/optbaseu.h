#pragma once
// The base of the three list editors: a sorted list box above a panel of four buttons,
// removal with its selection rule, and the remembered size and place. Each editor adds
// its own kind of item (btnAddClick) and brings its own texts.
#include <windows.h>

#include <string>
#include <vector>

#include "dialogs/form.h"
#include "dialogs/placement.h"
#include "engines/helpers.h"

namespace dialogs {

class TOptForm : public Form {
 public:
  // In: a copy of the caller's list. Out, after OK: the list box's items in its order.
  std::vector<std::string> items;
  // Shows the dialog modally; true when the user confirmed with OK.
  bool Run(HWND owner);

  HWND lbMain{}, Panel1{}, btnAdd{}, btnRemove{}, btnOK{}, btnCancel{};

 protected:
  struct Texts {
    const char* formName;  // the name its placement is kept under
    const char* caption;
    const char* listHint;
    DWORD addHelpContext;
    DWORD listHelpContext;
  };
  TOptForm(const PlacementStore& placements, const Texts& texts);

  virtual void btnAddClick() = 0;

  // Adds path to the list box with the watched-list rule and answers the rule's result.
  engines::AddResult AddToList(const std::string& path);
  // Puts text at its sorted place and selects it.
  void InsertItem(const std::string& text);
  std::vector<std::string> ListItems() const;
  // The error beep, then a box with an OK button.
  void Notice(const std::string& text, const char* caption, UINT icon) const;

  const PlacementStore& placements_;

 private:
  void OnInit() override;
  bool OnCommand(int id, UINT code) override;
  void FormResize() override;

  void FormActivate();
  void btnRemoveClick();
  void btnOKClick();
  void btnCancelClick();
  void FillList(const std::vector<std::string>& entries);

  static const Binding<TOptForm> kEvents[];

  Texts texts_;
};

// The three messages for refused or replacing additions, each with one %s.
struct AddMessages {
  const char* inside;         // not added: inside a listed entry
  const char* replacedInner;  // added, the entries inside it removed
  const char* alreadyPresent;
};
// The message for a result, "" when the item was simply added.
std::string AddResultMessage(engines::AddResult result, const AddMessages& messages,
                             const std::string& item);

}  // namespace dialogs
