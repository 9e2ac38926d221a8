// The GDI drawing backend, painting into a memory DC with a top-down 32-bit
// DIB section and checked by its pixels.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cwchar>

#include "platform/win32/gdi_canvas.h"
#include "tests/support/canvas_conventions.h"

namespace {

using namespace canvas_conventions;

struct GdiTarget {
  explicit GdiTarget(int w = kWidth, int h = kHeight) : width(w) {
    BITMAPINFO info{};
    info.bmiHeader = {static_cast<DWORD>(sizeof(BITMAPINFOHEADER)), w, -h, 1, 32, BI_RGB};
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
    previousBitmap = SelectObject(dc, bitmap);
    std::fill(bits, bits + w * h, 0x010203u);  // the background
    canvas = BeginGdiCanvas(dc, &state);
  }
  ~GdiTarget() {
    if (canvas.context != nullptr) EndGdiCanvas(canvas);
    SelectObject(dc, previousBitmap), DeleteObject(bitmap), DeleteDC(dc);
  }
  Colour At(int x, int y) {
    GdiFlush();
    return MakeColour(bits[y * width + x] >> 16 & 0xFF, bits[y * width + x] >> 8 & 0xFF, bits[y * width + x] & 0xFF);
  }
  int width;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = nullptr;
  HGDIOBJ previousBitmap = nullptr;
  uint32_t* bits = nullptr;
  GdiCanvasState state{};
  Canvas canvas{};
  Colour shadow = GetSysColor(COLOR_BTNSHADOW), highlight = GetSysColor(COLOR_BTNHIGHLIGHT),
         darkShadow = GetSysColor(COLOR_3DDKSHADOW), light = GetSysColor(COLOR_3DLIGHT);
};
INSTANTIATE_TYPED_TEST_SUITE_P(Gdi, CanvasConventions, ::testing::Types<GdiTarget>);

TEST(GdiCanvas, TextStaysInItsMeasuredCellTurnedFontsRunUpwardsAndTheEndReleasesFontsAndPens) {
  GdiTarget target(160, 100);
  Canvas& c = target.canvas;
  ASSERT_NE(target.bits, nullptr);
  const HFONT font = CreateFontW(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
  const HFONT turned = CreateFontW(-12, 0, 900, 900, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, PROOF_QUALITY, 0, L"Arial");
  ASSERT_TRUE(font != nullptr && turned != nullptr);
  const HGDIOBJ originalPen = GetCurrentObject(target.dc, OBJ_PEN);
  c.SetTransparentText(c.context);
  c.SetTextColour(c.context, MakeColour(255, 255, 255));
  // Draws text in font at (x, y) on black; true when it lit more than some pixels, all inside x0..x1, y0..y1.
  auto drawnInside = [&](HFONT f, const wchar_t* text, int x, int y, int x0, int y0, int x1, int y1, int some) {
    c.FillRect(c.context, Rect{0, 0, 160, 100}, 0);
    c.SelectFont(c.context, reinterpret_cast<FontHandle>(f));
    c.DrawString(c.context, x, y, text, int32_t(wcslen(text)));
    int outside = 0, all = 0;
    for (const auto& [px, py] : Span(0, 0, 159, 99))
      if (target.At(px, py) != 0) ++all, outside += px < x0 || px > x1 || py < y0 || py > y1;
    return outside == 0 && all > some;
  };
  c.SelectFont(c.context, reinterpret_cast<FontHandle>(font));
  const TextSize shortSize = c.MeasureText(c.context, L"L1", 2), size = c.MeasureText(c.context, L"L1 Cache Lesen: ", 16);
  EXPECT_TRUE(shortSize.cx > 0 && size.cx > shortSize.cx && size.cy >= 10);
  EXPECT_TRUE(drawnInside(font, L"L1 Cache Lesen: ", 10, 10, 10, 10, 9 + size.cx, 9 + size.cy, 20));
  // Turned by 90 degrees: from (x, y) the text runs up to y - cx, its cell spanning x .. x + cy - 1.
  c.SelectFont(c.context, reinterpret_cast<FontHandle>(turned));
  const TextSize title = c.MeasureText(c.context, L"Transferrate", 12);
  ASSERT_LT(title.cx, 90);
  EXPECT_TRUE(drawnInside(turned, L"Transferrate", 100, 5 + title.cx, 100, 5, 99 + title.cy, 5 + title.cx, 30));

  // A dotted pen is deleted when replaced, and at the end; the fonts are deselected.
  c.SelectDottedPen(c.context, kRed);
  const HGDIOBJ replaced = GetCurrentObject(target.dc, OBJ_PEN);
  c.SelectSolidPen(c.context, kBlue);
  EXPECT_EQ(GetObjectType(replaced), 0u);
  c.SelectDottedPen(c.context, kRed);
  const HGDIOBJ dotted = GetCurrentObject(target.dc, OBJ_PEN);
  EndGdiCanvas(c);
  c.context = nullptr;
  EXPECT_EQ(GetCurrentObject(target.dc, OBJ_PEN), originalPen);
  EXPECT_EQ(GetObjectType(dotted), 0u);
  EXPECT_NE(GetCurrentObject(target.dc, OBJ_FONT), turned);
  EXPECT_TRUE(DeleteObject(font) && DeleteObject(turned));
}

}  // namespace
