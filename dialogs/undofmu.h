#pragma once
// The undo dialog: what undoing a report's install will do (how many items go, come
// back, cannot come back, changed since the report), the user's go-ahead, the progress
// and the result. The log goes beside the report as with the command.
#include <windows.h>

#include <string>

#include "dialogs/form.h"
#include "engines/undo.h"

namespace dialogs {

class TUndoForm : public Form {
 public:
  explicit TUndoForm(std::string reportPath) : reportPath_(std::move(reportPath)) {}
  void Run(HWND owner);

  HWND lbUndoReport{}, lbUndoSummary{}, cbOverwrite{}, pbUndo{}, lbUndoResult{}, btnUndoNow{},
      btnUndoClose{};

 protected:
  void OnInit() override;
  bool OnCommand(int id, UINT code) override;

 private:
  void FormCreate();
  void btnUndoNowClick();
  void btnUndoCloseClick();

  static const Binding<TUndoForm> kEvents[];

  std::string reportPath_;
  engines::UndoData data_;
  bool readable_ = false;
};

}  // namespace dialogs
