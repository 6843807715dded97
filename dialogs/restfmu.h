#pragma once
// The restart choice dialog: Windows is about to restart during real-time reporting with
// an install program, and the user chooses how the changes made across the restart are
// covered. It ends only through OK, so there is always a choice.
#include <windows.h>

#include <functional>
#include <string>

#include "dialogs/form.h"
#include "report/session.h"

namespace dialogs {

// The settings stay the main window's: it restores and saves a dialog's place, given the
// dialog and the name of its section.
struct PlacementKeeper {
  std::function<void(HWND dialog, const std::string& section)> restore;
  std::function<void(HWND dialog, const std::string& section)> save;
};

class TRtRebootForm : public Form {
 public:
  explicit TRtRebootForm(PlacementKeeper placement) : placement_(std::move(placement)) {}

  // Shows the dialog modally; answers tmDisk, tmTime or tmNone.
  session::TrackMode Choose(HWND owner);
  session::TrackMode Choice() const { return choice_; }

  HWND imgIco{}, Label1{}, rbDisk{}, rbTime{}, rbNone{}, btnhelp{}, btnOK{};

 protected:
  void OnInit() override;
  bool OnCommand(int id, UINT code) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  void FormCreate();
  bool FormCloseQuery(int result) const;
  void FormDestroy();
  void rbClick(session::TrackMode tag);  // any of the three choices
  void btnhelpClick();
  void btnOKClick();
  void TryClose(int result);

  static const Binding<TRtRebootForm> kEvents[];

  session::TrackMode choice_ = session::tmDisk;
  std::string placementSection_ = "RtRebootForm Settings";
  PlacementKeeper placement_;
};

}  // namespace dialogs
