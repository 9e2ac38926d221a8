// The GDI drawing backend, painting into a memory DC with a 32-bit DIB
// section and checked by its pixels.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>

#include "platform/win32/gdi_canvas.h"
#include "tests/support/canvas_conventions.h"

namespace {

using namespace canvas_conventions;

// A memory DC with a top-down 32-bit DIB section filled with the background,
// and a canvas begun on it.
template <int Width, int Height>
struct GdiTarget {
  GdiTarget() {
    dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = Width;
    info.bmiHeader.biHeight = -Height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* raw = nullptr;
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &raw, nullptr, 0);
    bits = static_cast<uint32_t*>(raw);
    previousBitmap = SelectObject(dc, bitmap);
    for (int i = 0; i < Width * Height; ++i) bits[i] = 0x010203;  // the background
    canvas = BeginGdiCanvas(dc, &state);
  }
  ~GdiTarget() {
    if (canvas.context != nullptr) EndGdiCanvas(canvas);
    SelectObject(dc, previousBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  Colour At(int x, int y) {
    GdiFlush();
    const uint32_t pixel = bits[y * Width + x];
    return MakeColour((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
  }

  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ previousBitmap = nullptr;
  uint32_t* bits = nullptr;
  GdiCanvasState state{};
  Canvas canvas{};
  Colour shadow = GetSysColor(COLOR_BTNSHADOW), highlight = GetSysColor(COLOR_BTNHIGHLIGHT),
         darkShadow = GetSysColor(COLOR_3DDKSHADOW), light = GetSysColor(COLOR_3DLIGHT);
};

using SmallGdiTarget = GdiTarget<kWidth, kHeight>;
INSTANTIATE_TYPED_TEST_SUITE_P(Gdi, CanvasConventions, ::testing::Types<SmallGdiTarget>);

constexpr int kTextWidth = 160, kTextHeight = 100;

class GdiCanvasTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(target.bits, nullptr); }
  Colour At(int x, int y) { return target.At(x, y); }
  int Count(Colour colour, int left, int top, int right, int bottom) {
    int count = 0;
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) count += At(x, y) == colour;
    return count;
  }
  GdiTarget<kTextWidth, kTextHeight> target;
  HDC dc = target.dc;
  Canvas& canvas = target.canvas;
};

TEST_F(GdiCanvasTest, TextIsDrawnInsideItsMeasuredCellInTheTextColourAndTurnedFontsRunUpwards) {
  const HFONT font = CreateFontW(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
  const HFONT turned = CreateFontW(-12, 0, 900, 900, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, PROOF_QUALITY, 0, L"Arial");
  ASSERT_NE(font, nullptr);
  ASSERT_NE(turned, nullptr);
  canvas.FillRect(canvas.context, Rect{0, 0, kTextWidth, kTextHeight}, MakeColour(0, 0, 0));
  canvas.SetTransparentText(canvas.context);
  canvas.SetTextColour(canvas.context, MakeColour(255, 255, 255));
  canvas.SelectFont(canvas.context, reinterpret_cast<FontHandle>(font));

  const TextSize shortSize = canvas.MeasureText(canvas.context, L"L1", 2);
  const TextSize size = canvas.MeasureText(canvas.context, L"L1 Cache Lesen: ", 16);
  EXPECT_GT(shortSize.cx, 0);
  EXPECT_GT(size.cx, shortSize.cx);
  EXPECT_GE(size.cy, 10);
  canvas.DrawString(canvas.context, 10, 10, L"L1 Cache Lesen: ", 16);
  const Colour white = MakeColour(255, 255, 255);
  const int inside = Count(white, 10, 10, 10 + size.cx, 10 + size.cy);
  EXPECT_GT(inside, 20);
  EXPECT_EQ(Count(white, 0, 0, kTextWidth, kTextHeight), inside) << "white pixels outside the measured cell";

  // Turned by 90 degrees: from (x, y) the text runs up to y - cx, its cell
  // spanning x .. x + cy - 1.
  canvas.FillRect(canvas.context, Rect{0, 0, kTextWidth, kTextHeight}, MakeColour(0, 0, 0));
  canvas.SelectFont(canvas.context, reinterpret_cast<FontHandle>(turned));
  const TextSize title = canvas.MeasureText(canvas.context, L"Transferrate", 12);
  ASSERT_LT(title.cx, kTextHeight - 10);
  const int y = 5 + title.cx;
  canvas.DrawString(canvas.context, 100, y, L"Transferrate", 12);
  int lit = 0, litOutside = 0;
  for (int py = 0; py < kTextHeight; ++py)
    for (int px = 0; px < kTextWidth; ++px) {
      if (At(px, py) == MakeColour(0, 0, 0)) continue;
      ++lit;
      if (px < 100 || px >= 100 + title.cy || py <= y - title.cx - 1 || py > y) ++litOutside;
    }
  EXPECT_GT(lit, 30);
  EXPECT_EQ(litOutside, 0);

  // The canvas's end deselects the fonts, so they can be deleted.
  EndGdiCanvas(canvas);
  canvas.context = nullptr;
  EXPECT_NE(GetCurrentObject(dc, OBJ_FONT), turned);
  EXPECT_TRUE(DeleteObject(font));
  EXPECT_TRUE(DeleteObject(turned));
}

TEST_F(GdiCanvasTest, DottedPensAreDeletedWhenReplacedAndAtTheEnd) {
  const HGDIOBJ originalPen = GetCurrentObject(dc, OBJ_PEN);
  canvas.SelectDottedPen(canvas.context, kRed);
  const HGDIOBJ replaced = GetCurrentObject(dc, OBJ_PEN);
  canvas.SelectSolidPen(canvas.context, kBlue);
  EXPECT_EQ(GetObjectType(replaced), 0u) << "the replaced dotted pen still exists";

  canvas.SelectDottedPen(canvas.context, kRed);
  const HGDIOBJ dotted = GetCurrentObject(dc, OBJ_PEN);
  ASSERT_NE(dotted, originalPen);
  EndGdiCanvas(canvas);
  canvas.context = nullptr;
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), originalPen);
  EXPECT_EQ(GetObjectType(dotted), 0u);
}

}  // namespace
