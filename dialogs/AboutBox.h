#pragma once
// The about box: the program's version, the trap driver's version where real-time
// tracking is possible, the Windows version, and a small animated picture.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "dialogs/form.h"
#include "dialogs/placement.h"
#include "platform/owners.h"

namespace dialogs {

// Picture numbers: the resting picture and the six frames of the animation.
constexpr int kRestPicture = 101;
constexpr int kFirstFrame = 102;
constexpr int kLastFrame = 107;

class TAboutForm : public Form {
 public:
  explicit TAboutForm(const PlacementStore& placements);
  // In: the Windows version as found at start-up.
  int windowsType = 0;  // 1 Windows 95, 2 Windows 98, 3 NT 4, ...
  std::string windowsName;
  // Shows the box modally until OK.
  void Run(HWND owner);

  HWND lblVersion{}, btnAboutOK{}, Panel1{}, Image1{}, Image2{}, lblWinVer{}, lblVxdVersion{};

 private:
  void OnInit() override;
  bool OnCommand(int id, UINT code) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

  void FormCreate();
  void FormDestroy();
  void Timer1Timer();
  void btnAboutOKClick();
  void ShowPicture(HWND image, int number);

  static const Binding<TAboutForm> kEvents[];
  static const ControlRow<TAboutForm> kControls[];

  const PlacementStore& placements_;
  int picture_ = kRestPicture;
  HWND currentImage_{};
  std::vector<platform::Bitmap> pictures_;
};

// "VORTTRAP.VXD version 1.02" for the version word 0x0102; "" for -1 (no driver).
std::string DriverVersionLine(int version);

// The animation step from picture current; random(n) is a uniform integer in 0 to n - 1.
int NextPicture(int current, const std::function<int(int)>& random);

// One of the seven pictures, drawn at size by size pixels on the dialog's face colour.
platform::Bitmap MakeAboutPicture(int number, int size);

}  // namespace dialogs
