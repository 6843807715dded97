#include "app/pictures.h"

#include "platform/owners.h"

namespace app {
namespace {

struct Selected {
  HDC dc;
  HGDIOBJ old;
  Selected(HDC dc, HGDIOBJ object) : dc(dc), old(SelectObject(dc, object)) {}
  ~Selected() { SelectObject(dc, old); }
};

void Ellipse(HDC dc, const RECT& r, COLORREF fill, COLORREF line, int width) {
  platform::Brush brush(CreateSolidBrush(fill));
  platform::Pen pen(CreatePen(PS_SOLID, width, line));
  Selected b(dc, brush.get()), p(dc, pen.get());
  ::Ellipse(dc, r.left, r.top, r.right, r.bottom);
}

RECT Inset(const RECT& r, int dx, int dy) { return {r.left + dx, r.top + dy, r.right - dx, r.bottom - dy}; }

}  // namespace

void DrawEye(HDC dc, const RECT& box) {
  const int w = box.right - box.left, h = box.bottom - box.top;
  const int line = w >= 32 ? 2 : 1;
  // The white of the eye: a flat ellipse across the box.
  RECT white{box.left, box.top + h / 5, box.right, box.bottom - h / 5};
  Ellipse(dc, white, RGB(255, 255, 255), RGB(0, 0, 0), line);
  const int iris = (white.bottom - white.top) * 4 / 5;
  const int cx = box.left + w / 2, cy = box.top + h / 2;
  RECT irisBox{cx - iris / 2, cy - iris / 2, cx - iris / 2 + iris, cy - iris / 2 + iris};
  Ellipse(dc, irisBox, RGB(30, 90, 200), RGB(20, 50, 120), 1);
  Ellipse(dc, Inset(irisBox, iris / 4 + 1, iris / 4 + 1), RGB(0, 0, 0), RGB(0, 0, 0), 1);
}

platform::Icon MakeEyeIcon(int size) {
  HDC screen = GetDC(nullptr);
  platform::Bitmap color(CreateCompatibleBitmap(screen, size, size));
  platform::Bitmap mask(CreateBitmap(size, size, 1, 1, nullptr));
  platform::MemoryDc memory(CreateCompatibleDC(screen));
  ReleaseDC(nullptr, screen);
  HDC dc = memory.get();
  RECT box{0, 0, size, size};
  {
    // Where the mask is white the screen shows through, so the colour image is black there.
    Selected m(dc, mask.get());
    FillRect(dc, &box, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    RECT white{0, size / 5, size, size - size / 5};
    Ellipse(dc, white, RGB(0, 0, 0), RGB(0, 0, 0), 1);
  }
  {
    Selected c(dc, color.get());
    FillRect(dc, &box, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    DrawEye(dc, box);
  }
  ICONINFO info{TRUE, 0, 0, mask.get(), color.get()};
  return platform::Icon(CreateIconIndirect(&info));
}

void DrawMainPicture(HDC dc, const RECT& box) {
  // A vertical blend from deep blue to teal.
  const int h = box.bottom - box.top;
  for (int y = 0; y < h; y += 2) {
    const int t = h > 1 ? y * 255 / (h - 1) : 0;
    platform::Brush brush(CreateSolidBrush(RGB(10, 40 + t * 80 / 255, 110 + t * 30 / 255)));
    RECT band{box.left, box.top + y, box.right, box.top + y + 2};
    FillRect(dc, &band, brush.get());
  }
  const int w = box.right - box.left;
  const int eye = w * 2 / 3;
  RECT eyeBox{box.left + (w - eye) / 2, box.top + h / 5, box.left + (w - eye) / 2 + eye,
              box.top + h / 5 + eye};
  DrawEye(dc, eyeBox);

  LOGFONTA look{};
  look.lfHeight = -w / 5;
  look.lfWeight = FW_BOLD;
  lstrcpyA(look.lfFaceName, "Tahoma");
  platform::Font font(CreateFontIndirectA(&look));
  Selected f(dc, font.get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  RECT text{box.left, eyeBox.bottom + h / 10, box.right, box.bottom};
  DrawTextA(dc, "Vortan4", -1, &text, DT_CENTER | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
}

}  // namespace app
