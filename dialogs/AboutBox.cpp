#include "dialogs/AboutBox.h"

#include <cstdio>
#include <cstdlib>

#include "dialogs/AboutBox_ids.h"
#include "realtime/vorttrap.h"
#include "report/writer.h"

namespace dialogs {
namespace {

constexpr SIZE kClientSize{390, 178};
constexpr int kPictureSize = 48;
constexpr UINT kFirstInterval = 1000;
const char kFormName[] = "AboutForm";

int RuntimeRandom(int n) { return std::rand() % n; }

// How each picture looks: where the eye looks and how far it is open.
struct EyePose {
  int lookX, lookY;  // the iris's offset from the middle, in 48ths of the picture
  int openPercent;
};
EyePose PoseOf(int number) {
  static const EyePose poses[] = {
      {0, 0, 100},   // 101 resting: looking at the user
      {-8, 0, 100},  // 102 left
      {0, -4, 100},  // 103 up
      {8, 0, 100},   // 104 right
      {0, 2, 50},    // 105 half closed
      {0, 0, 0},     // 106 closed
      {0, 4, 60},    // 107 opening, looking down
  };
  const int index = number - kRestPicture;
  return poses[index >= 0 && index < 7 ? index : 0];
}

void FilledEllipse(HDC dc, const RECT& r, COLORREF fill, COLORREF line) {
  platform::Brush brush(CreateSolidBrush(fill));
  platform::Pen pen(CreatePen(PS_SOLID, 1, line));
  HGDIOBJ oldBrush = SelectObject(dc, brush.get()), oldPen = SelectObject(dc, pen.get());
  Ellipse(dc, r.left, r.top, r.right, r.bottom);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
}

void DrawPose(HDC dc, int size, const EyePose& pose) {
  RECT all{0, 0, size, size};
  FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
  const int unit = size / 48 > 0 ? size / 48 : 1;
  const RECT white{2 * unit, 12 * unit, size - 2 * unit, size - 12 * unit};
  FilledEllipse(dc, white, RGB(255, 255, 255), RGB(0, 0, 0));

  platform::Region clip(
      CreateEllipticRgn(white.left + 1, white.top + 1, white.right - 1, white.bottom - 1));
  SelectClipRgn(dc, clip.get());
  const int cx = size / 2 + pose.lookX * unit, cy = size / 2 + pose.lookY * unit;
  const int iris = 10 * unit, pupil = 4 * unit;
  FilledEllipse(dc, {cx - iris, cy - iris, cx + iris, cy + iris}, RGB(30, 90, 200),
                RGB(20, 50, 120));
  FilledEllipse(dc, {cx - pupil, cy - pupil, cx + pupil, cy + pupil}, RGB(0, 0, 0), RGB(0, 0, 0));
  // The lid comes down from the top as the eye closes.
  const int height = white.bottom - white.top;
  const int lidBottom = white.top + height * (100 - pose.openPercent) / 100;
  if (lidBottom > white.top) {
    RECT lid{white.left, white.top, white.right, lidBottom};
    platform::Brush skin(CreateSolidBrush(RGB(225, 180, 140)));
    FillRect(dc, &lid, skin.get());
    MoveToEx(dc, white.left, lidBottom, nullptr);
    LineTo(dc, white.right, lidBottom);
  }
  SelectClipRgn(dc, nullptr);
  platform::Pen outline(CreatePen(PS_SOLID, 2 * unit, RGB(0, 0, 0)));
  HGDIOBJ oldPen = SelectObject(dc, outline.get());
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  Ellipse(dc, white.left, white.top, white.right, white.bottom);
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
}

}  // namespace

std::string DriverVersionLine(int version) {
  if (version == -1) return "";
  char line[64];
  std::snprintf(line, sizeof line, "VORTTRAP.VXD version %d.%.2d", (version >> 8) & 0xFF,
                version & 0xFF);
  return line;
}

int NextPicture(int current, const std::function<int(int)>& random) {
  const int r = random(24);
  if (r <= 5) return kFirstFrame + r;
  if (r <= 13) {
    if (current == kRestPicture) return kFirstFrame + random(6);
    return current + 1 > kLastFrame ? kFirstFrame : current + 1;
  }
  return kRestPicture;
}

platform::Bitmap MakeAboutPicture(int number, int size) {
  HDC screen = GetDC(nullptr);
  platform::Bitmap bitmap(CreateCompatibleBitmap(screen, size, size));
  platform::MemoryDc dc(CreateCompatibleDC(screen));
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc.get(), bitmap.get());
  DrawPose(dc.get(), size, PoseOf(number));
  SelectObject(dc.get(), old);
  return bitmap;
}

TAboutForm::TAboutForm(const PlacementStore& placements) : placements_(placements) {}

void TAboutForm::Run(HWND owner) { RunModal(IDD_AboutForm, owner); }

const Binding<TAboutForm> TAboutForm::kEvents[] = {
    {IDOK, BN_CLICKED, &TAboutForm::btnAboutOKClick},
    {IDCANCEL, BN_CLICKED, &TAboutForm::btnAboutOKClick},
    {IDT_Timer1, WM_TIMER, &TAboutForm::Timer1Timer},
};

bool TAboutForm::OnCommand(int id, UINT code) { return Dispatch(*this, kEvents, id, code); }

bool TAboutForm::OnMessage(UINT message, WPARAM, LPARAM, LRESULT&) {
  if (message != WM_DESTROY) return false;
  FormDestroy();
  return true;
}

const ControlRow<TAboutForm> TAboutForm::kControls[] = {
    {&TAboutForm::lblVersion, IDC_lblVersion, 0, nullptr},
    {&TAboutForm::btnAboutOK, IDOK, 0, nullptr},
    {&TAboutForm::Panel1, IDC_AboutForm_Panel1, 0, nullptr},
    {&TAboutForm::Image1, IDC_Image1, 0, nullptr},
    {&TAboutForm::Image2, IDC_Image2, 0, nullptr},
    {&TAboutForm::lblWinVer, IDC_lblWinVer, 0, nullptr},
    {&TAboutForm::lblVxdVersion, IDC_lblVxdVersion, 0, nullptr},
};

void TAboutForm::OnInit() {
  BindControls(*this, kControls);
  RECT frame{0, 0, kClientSize.cx, kClientSize.cy};
  AdjustWindowRectEx(&frame, GetWindowLongA(hwnd_, GWL_STYLE), FALSE,
                     GetWindowLongA(hwnd_, GWL_EXSTYLE));
  SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // The panel is only the frame: behind the pictures, not over them.
  SetWindowPos(Panel1, HWND_BOTTOM, 8, 8, kPictureSize + 4, kPictureSize + 4, SWP_NOACTIVATE);
  for (HWND image : {Image1, Image2})
    SetWindowPos(image, nullptr, 10, 10, kPictureSize, kPictureSize, SWP_NOZORDER);
  MoveWindow(lblVersion, 72, 10, 310, 16, FALSE);
  MoveWindow(lblVxdVersion, 72, 30, 310, 16, FALSE);
  MoveWindow(Control(IDC_lblAboutText), 72, 56, 310, 16, FALSE);
  MoveWindow(lblWinVer, 8, kClientSize.cy - 30, 280, 16, FALSE);
  MoveWindow(btnAboutOK, kClientSize.cx - 83, kClientSize.cy - 33, 75, 25, FALSE);
  FormCreate();
  SetFocus(btnAboutOK);
}

void TAboutForm::FormCreate() {
  if (windowsType == 1 || windowsType == 2)
    SetWindowTextA(lblVxdVersion, DriverVersionLine(realtime::GetTrapDriverVersion()).c_str());
  placements_.Restore(hwnd_, kFormName, false);
  SetWindowTextA(lblWinVer, windowsName.c_str());
  SetWindowTextA(lblVersion, ("Vortan4 - version " + report::GetFileVersionText()).c_str());
  for (int number = kRestPicture; number <= kLastFrame; ++number)
    pictures_.emplace_back(MakeAboutPicture(number, kPictureSize));
  picture_ = kRestPicture;
  currentImage_ = Image1;
  ShowPicture(Image1, picture_);
  SetTimer(hwnd_, IDT_Timer1, kFirstInterval, nullptr);
}

void TAboutForm::FormDestroy() {
  KillTimer(hwnd_, IDT_Timer1);
  placements_.Save(hwnd_, kFormName, false);
}

void TAboutForm::ShowPicture(HWND image, int number) {
  SendMessageA(image, STM_SETIMAGE, IMAGE_BITMAP,
               reinterpret_cast<LPARAM>(pictures_[number - kRestPicture].get()));
  // The picture in front changes in one step, without a blank frame between.
  SetWindowPos(image, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  InvalidateRect(image, nullptr, FALSE);
}

void TAboutForm::Timer1Timer() {
  picture_ = NextPicture(picture_, RuntimeRandom);
  currentImage_ = currentImage_ == Image1 ? Image2 : Image1;
  ShowPicture(currentImage_, picture_);
  SetTimer(hwnd_, IDT_Timer1, 250 + RuntimeRandom(750), nullptr);
}

void TAboutForm::btnAboutOKClick() { EndDialog(hwnd_, IDOK); }

}  // namespace dialogs
