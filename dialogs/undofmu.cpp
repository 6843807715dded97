#include "dialogs/undofmu.h"

#include <commctrl.h>

#include "dialogs/undofmu_ids.h"
#include "report/undo_run.h"

namespace dialogs {
namespace {

const ControlRow<TUndoForm> kControls[] = {
    {&TUndoForm::lbUndoReport, IDC_lbUndoReport, 0, nullptr},
    {&TUndoForm::lbUndoSummary, IDC_lbUndoSummary, 0, nullptr},
    {&TUndoForm::cbOverwrite, IDC_cbOverwrite, 0,
     "Also overwrite what was changed after the report, by you or another program"},
    {&TUndoForm::pbUndo, IDC_pbUndo, 0, nullptr},
    {&TUndoForm::lbUndoResult, IDC_lbUndoResult, 0, nullptr},
    {&TUndoForm::btnUndoNow, IDC_btnUndoNow, 0, "Undo the install that the report recorded"},
    {&TUndoForm::btnUndoClose, IDC_btnUndoClose, 0, nullptr},
};

std::string PlanLines(const engines::UndoPlan& plan) {
  return "Items to remove: " + std::to_string(plan.toRemove) +
         "\r\nItems to restore: " + std::to_string(plan.toRestore) +
         "\r\nItems that cannot be restored: " + std::to_string(plan.cannotRestore) +
         "\r\nItems changed since the report: " + std::to_string(plan.changedSince);
}

}  // namespace

const Binding<TUndoForm> TUndoForm::kEvents[] = {
    {IDC_btnUndoNow, BN_CLICKED, &TUndoForm::btnUndoNowClick},
    {IDC_btnUndoClose, BN_CLICKED, &TUndoForm::btnUndoCloseClick},
};

void TUndoForm::Run(HWND owner) { RunModal(IDD_UndoForm, owner); }

void TUndoForm::OnInit() {
  BindControls(*this, kControls);
  FormCreate();
}

bool TUndoForm::OnCommand(int id, UINT code) { return Dispatch(*this, kEvents, id, code); }

void TUndoForm::FormCreate() {
  SetWindowTextA(lbUndoReport, ("Report: " + reportPath_).c_str());
  try {
    data_ = report::ReadUndoDataOfReport(reportPath_);
    readable_ = true;
  } catch (const std::exception& error) {
    SetWindowTextA(lbUndoSummary, (std::string("Nothing can be undone: ") + error.what()).c_str());
  }
  if (readable_) {
    const engines::UndoPlan plan = engines::PlanUndo(data_);
    SetWindowTextA(lbUndoSummary, PlanLines(plan).c_str());
    EnableWindow(cbOverwrite, plan.changedSince > 0);
  } else {
    EnableWindow(cbOverwrite, FALSE);
  }
  EnableWindow(btnUndoNow, readable_);
  SetFocus(readable_ ? btnUndoNow : btnUndoClose);
}

void TUndoForm::btnUndoNowClick() {
  if (MessageWithBeep(hwnd_,
                      "Undo the install recorded in " + reportPath_ +
                          "?\r\n\r\nFiles, INI files and the registry are changed back.",
                      "Confirm", MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
    return;
  EnableWindow(btnUndoNow, FALSE);
  EnableWindow(cbOverwrite, FALSE);
  // The machine may have changed while the dialog was open: the plan is made again.
  const engines::UndoPlan plan = engines::PlanUndo(data_);
  report::UndoLog log(reportPath_);
  const engines::UndoResult result = report::UndoWithLog(
      plan, SendMessageA(cbOverwrite, BM_GETCHECK, 0, 0) == BST_CHECKED, log,
      [&](size_t step, size_t count) {
        SendMessageA(pbUndo, PBM_SETRANGE32, 0, static_cast<LPARAM>(count));
        SendMessageA(pbUndo, PBM_SETPOS, step, 0);
        UpdateWindow(pbUndo);
      });
  const std::string text = (result.Complete() ? "Everything was undone: " : "Undone in part: ") +
                           report::UndoResultText(result) + ". The log: " + log.Path();
  SetWindowTextA(lbUndoResult, text.c_str());
  SetFocus(btnUndoClose);
}

void TUndoForm::btnUndoCloseClick() { EndDialog(hwnd_, IDCANCEL); }

}  // namespace dialogs
